-- The nk module: images, drawing, fonts, keys and, when the host has one, the window.

local img = nk.image(8, 4, 10, 20, 30)
assert(img:width() == 8 and img:height() == 4 and select(2, img:size()) == 4)
assert(tostring(img) == "nk.image (8x4)")
local r, g, b, a = img:get(7, 3)
assert(r == 10 and g == 20 and b == 30 and a == 255)
assert(img:get(8, 0) == nil and img:get(-1, 0) == nil)   -- outside: nothing
img:set(1, 1, 255, 0, 0)
img:set(100, 100, 1, 2, 3)                              -- outside: ignored
assert(select(1, img:get(1, 1)) == 255 and select(4, img:get(1, 1)) == 255)
img:fill(-2, -2, 4, 4, 0, 255, 0, 128)                  -- clipped to the corner
assert(select(2, img:get(0, 0)) == 255 and select(4, img:get(1, 1)) == 128)
assert(select(2, img:get(2, 2)) == 20)
img:set(5, 0, 300, -5, 7)                               -- channels are clamped
assert(select(1, img:get(5, 0)) == 255 and select(2, img:get(5, 0)) == 0)

-- Drawing blends by the source's alpha and clips at every edge.
local dst = nk.image(4, 4, 0, 0, 0)
local src = nk.image(2, 2, 255, 255, 255, 255)
src:set(1, 1, 255, 255, 255, 0)                         -- a transparent pixel
dst:draw(src, 3, 3)
assert(select(1, dst:get(3, 3)) == 255)
dst:draw(src, -1, -1)
assert(select(1, dst:get(0, 0)) == 0 and select(1, dst:get(1, 0)) == 0)
local half = nk.image(1, 1, 200, 100, 0, 128)
local base = nk.image(1, 1, 0, 100, 200)
base:draw(half, 0, 0)
local br, bg, bb = base:get(0, 0)
assert(math.abs(br - 100) <= 1 and bg == 100 and math.abs(bb - 100) <= 1)

assert(not pcall(nk.image, 0, 5) and not pcall(nk.image, 5, 100000))
assert(not pcall(img.get, {}, 0, 0))                     -- not an image
local big = nk.image(1000, 1000)
big = nil
collectgarbage()

-- PNG files and fonts come from the host; a missing file is nil and a message.
local none, message = nk.loadpng("no_such_picture.png")
assert(none == nil and message:find("no_such_picture.png", 1, true))
local font = nk.font(nil, 16)
if font then
  local text = assert(font:render("Hi", 255, 255, 255))
  assert(text:width() > 0 and text:height() > 0)
  local opaque = 0
  for y = 0, text:height() - 1 do
    for x = 0, text:width() - 1 do
      if select(4, text:get(x, y)) > 128 then opaque = opaque + 1 end
    end
  end
  assert(opaque > 0)
  font:free()
  assert(not pcall(font.render, font, "x"))
end

-- Keys: none typed, and unknown names are errors.
assert(nk.key("a") == false and next(nk.keys()) == nil and nk.lastchar() == nil)
assert(not pcall(nk.key, "nosuchkey"))

-- The window, on a host that has one: the frame pushed is the frame captured.
local window, why = nk.window("nk test", 16, 8)
if not window then
  assert(why == "the host has no window")
  return
end
assert(window:title() == "nk test" and select(1, window:size()) == 16)
window:title("renamed")
assert(window:title() == "renamed")
local frame = nk.image(16, 8, 0, 0, 255)
frame:fill(4, 2, 8, 4, 255, 128, 0)
window:push(frame)
window:update()
local shot = assert(window:capture())
assert(shot:width() == 16 and shot:height() == 8)
for y = 0, 7 do
  for x = 0, 15 do
    local r1, g1, b1 = frame:get(x, y)
    local r2, g2, b2 = shot:get(x, y)
    assert(r1 == r2 and g1 == g2 and b1 == b2, x .. "," .. y)
  end
end
local mx, my = window:mouse()
assert(math.type(mx) == "integer" and math.type(my) == "integer")
assert(window:shouldclose() == false)
window:close()
assert(window:shouldclose() == true)
window:destroy()
assert(not pcall(window.push, window, frame))
