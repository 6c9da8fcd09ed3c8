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

-- Drawing lays the source over the destination by its alpha and clips at every edge.
local function pixel(image, x, y) return table.concat({image:get(x, y)}, ",") end
local dst = nk.image(4, 4, 0, 0, 0)
local src = nk.image(2, 2, 255, 255, 255, 255)
src:set(1, 1, 255, 255, 255, 0)                         -- a transparent pixel
dst:draw(src, 3, 3)
assert(pixel(dst, 3, 3) == "255,255,255,255")
dst:draw(src, -1, -1)
assert(pixel(dst, 0, 0) == "0,0,0,255" and pixel(dst, 1, 0) == "0,0,0,255")
dst:draw(src, math.maxinteger, math.mininteger)         -- far away: nothing
dst:fill(math.mininteger, 0, math.maxinteger, 1, 9, 9, 9)   -- no overflow: ends short of 0
assert(pixel(dst, 0, 0) == "0,0,0,255")
dst:fill(-2, 3, math.maxinteger, 1, 9, 9, 9)
assert(pixel(dst, 3, 3) == "9,9,9,255")
-- Golden pixels of source-over, worked by hand: colour = (sc*sa + dc*da*(1-sa)) / alpha,
-- alpha = sa + da*(1-sa), each rounded to nearest.
local function over(s, d)
  local top = nk.image(1, 1, table.unpack(s))
  local under = nk.image(1, 1, table.unpack(d))
  under:draw(top, 0, 0)
  local rect = nk.image(1, 1, table.unpack(d))
  rect:blend(0, 0, 1, 1, table.unpack(s))              -- a rectangle blends the same way
  assert(pixel(rect, 0, 0) == pixel(under, 0, 0))
  return pixel(under, 0, 0)
end
assert(over({200, 100, 0, 128}, {0, 100, 200, 255}) == "100,100,100,255")
assert(over({255, 0, 0, 128}, {0, 0, 255, 128}) == "170,0,85,192")
assert(over({10, 20, 30, 77}, {90, 80, 70, 0}) == "10,20,30,77")   -- over nothing
assert(over({10, 20, 30, 0}, {90, 80, 70, 5}) == "90,80,70,5")     -- nothing over
assert(over({1, 2, 3, 255}, {90, 80, 70, 5}) == "1,2,3,255")
assert(over({255, 255, 255, 1}, {0, 0, 0, 255}) == "1,1,1,255")
-- fill and set replace, alpha included; blend clips like fill.
local glass = nk.image(3, 1, 9, 9, 9)
glass:fill(0, 0, 1, 1, 50, 60, 70, 10)
glass:blend(1, 0, 5, 5, 255, 255, 255, 51)
glass:blend(-10, -10, 5, 5, 0, 0, 0, 255)
assert(pixel(glass, 0, 0) == "50,60,70,10" and pixel(glass, 1, 0) == "58,58,58,255")
assert(pixel(glass, 2, 0) == "58,58,58,255")

-- Constructors give nil and a message; arguments of the wrong type raise.
local none, message = nk.image(0, 5)
assert(none == nil and message == "0 x 5 is not an image size (1..16384 each)")
assert(nk.image(5, 100000) == nil and nk.image(-1, 1) == nil)
assert(select(2, nk.image(16384, 16384)) == "not enough memory for a 16384 x 16384 image")
assert(pixel(nk.image(2, 1), 1, 0) == "0,0,0,255")     -- opaque black by default
assert(not pcall(nk.image, "wide", 5) and not pcall(nk.image, 1.5, 5))
assert(select(2, pcall(nk.image, {}, 1)):find("bad argument #1 to 'nk.image' (number expected, got table)", 1, true))
assert(not pcall(img.get, {}, 0, 0))                     -- not an image
assert(not pcall(img.fill, img, 0, 0, "all"))
local big = nk.image(1000, 1000)
big = nil
collectgarbage()

-- PNG files and fonts come from the host; a missing file is nil and a message.
local none, message = nk.loadpng("no_such_picture.png")
assert(none == nil and message:find("no_such_picture.png", 1, true))
assert(nk.font(nil, 0) == nil and select(2, nk.font(nil, -3)) == "-3 is not a font size")
local font = nk.font(nil, 16)
if font then
  local nothing, why = font:render("")
  assert(nothing == nil and why:find("no image", 1, true))
  assert(not pcall(font.resize, font, 0))
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
local no_window, why_not = nk.window("x", 0, 0)
assert(no_window == nil and why_not == "0 x 0 is not a window size (1..16384 each)")
assert(not pcall(nk.window, "x", "wide"))
local window, why = nk.window("nk test", 16, 8)
if not window then
  assert(why == "the host has no window")
  return
end
assert(window:title() == "nk test" and select(1, window:size()) == 16)
window:title("renamed")
assert(window:title() == "renamed")
-- Before any push, image pixels are client pixels (the image counts as window-sized).
local tx, ty, inside = window:toimage(3, 2)
assert(tx == 3 and ty == 2 and inside)
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
-- The pointer: client pixels, buttons, then the image pixel under it.
assert(window:frames() == 1)
local mx, my, left, right, middle, ix, iy, on = window:mouse()
assert(mx == 8 and my == 4 and left == false and right == false and middle == false)
assert(ix == 8 and iy == 4 and on == true)
window:push(nk.image(4, 2))                              -- four times enlarged
assert(select(6, window:mouse()) == 2 and select(7, window:mouse()) == 1)
tx, ty, inside = window:toimage(15, 7)
assert(tx == 3 and ty == 1 and inside)
window:push(nk.image(16, 4))                             -- letterboxed: rows 2 to 5
tx, ty, inside = window:toimage(-3, 0)
assert(tx == 0 and ty == 0 and inside == false)
tx, ty, inside = window:toimage(5, 5)
assert(tx == 5 and ty == 3 and inside)
tx, ty, inside = window:toimage(math.maxinteger, 7)
assert(tx == 15 and ty == 3 and inside == false)
window:update()
assert(window:frames() == 2)
assert(window:shouldclose() == false)
window:close()
assert(window:shouldclose() == true)
window:destroy()
assert(not pcall(window.push, window, frame))
