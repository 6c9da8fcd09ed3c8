-- The playground: what a script can do with the platform's window, in one small piece.
-- Norri (norri.png) walks with the arrow keys and catches stars; the mouse paints with the
-- left button and rubs out with the right one; 1 to 6 choose the paint, space stamps Norri
-- onto the painting, c clears it. Esc or the window's close button ends it.
--
-- The picture is 320 x 200 pixels in a 640 x 400 window, which scales it; window:mouse()
-- gives the pointer in the picture's own pixels as well as in the window's. There is no
-- clock on the platform: everything here is paced by frames, which the host shows 60 a
-- second on the desktop.
--
-- Nobody there? After 30 seconds (1800 frames) without a key, a click or a move of the
-- pointer it counts down, and after 40 it ends by itself, so that a run without a person
-- (a headless host without an input script) does not wait for ever.
--
-- dofile("playground.lua") runs it and returns what happened: frames shown, stars caught.

local W, H = 320, 200
local GROUND = 168                      -- the first row of grass
local SIZE = 16                         -- Norri is 16 x 16
local IDLE_WARN, IDLE_END = 30 * 60, 40 * 60

local window, why = nk.window("NorrikLua playground", 2 * W, 2 * H)
if not window then
  print("  playground: no window (" .. why .. ")")
  return nil
end
local norri = assert(nk.loadpng("norri.png"))
local title_font = nk.font(nil, 13)              -- nil when the host has no fonts
local small_font = nk.font("DejaVu Sans Mono", 10)

local function text(font, s, r, g, b, alpha)
  return font and font:render(s, r, g, b, alpha)
end

-- The backdrop, drawn once: a sunset sky, hills laid over it half transparent, grass.
local backdrop = nk.image(W, H)
for y = 0, GROUND - 1 do
  local t = y / GROUND
  backdrop:fill(0, y, W, 1, 25 + math.floor(225 * t), 30 + math.floor(130 * t), 80 + math.floor(10 * t))
end
for x = 0, W - 1 do
  local far = math.floor(30 + 14 * math.sin(x / 23) + 8 * math.sin(x / 7))
  local near = math.floor(14 + 10 * math.sin(x / 31 + 2))
  backdrop:blend(x, GROUND - far, 1, far, 70, 60, 120, 110)
  backdrop:blend(x, GROUND - near, 1, near, 40, 70, 60, 170)
end
backdrop:fill(0, GROUND, W, H - GROUND, 50, 110, 60)
backdrop:fill(0, GROUND, W, 2, 90, 160, 80)

-- What the mouse paints on: transparent until painted, laid over the backdrop each frame.
local canvas = nk.image(W, H, 0, 0, 0, 0)
local palette = {{255, 255, 255}, {240, 70, 60}, {250, 200, 40}, {70, 200, 90}, {60, 140, 250}, {180, 90, 220}}
local paint = palette[2]

-- One brush dab every pixel along the line, so that quick strokes stay joined.
local function stroke(x0, y0, x1, y1, dab)
  local steps = math.max(math.abs(x1 - x0), math.abs(y1 - y0), 1)
  for i = 0, steps do dab(x0 + (x1 - x0) * i // steps, y0 + (y1 - y0) * i // steps) end
end
local function brush(x, y) canvas:fill(x - 1, y - 1, 3, 3, paint[1], paint[2], paint[3]) end
local function rubber(x, y) canvas:fill(x - 4, y - 4, 9, 9, 0, 0, 0, 0) end

-- Stars to catch; a caught one comes back elsewhere, in the same order on every run.
math.randomseed(7)
local stars = {{100, 120}, {200, 60}, {280, 130}}
local function draw_star(img, star, frame)
  local x, y = star[1], star[2]
  local glow = (frame // 10) % 2 == 0 and 3 or 4   -- twinkles every 10 frames
  img:blend(x - glow, y - 1, 2 * glow + 1, 3, 255, 240, 150, 80)
  img:blend(x - 1, y - glow, 3, 2 * glow + 1, 255, 240, 150, 80)
  img:blend(x - 2, y - 2, 5, 5, 255, 240, 150, 60)
  img:fill(x - 3, y, 7, 1, 255, 225, 80)
  img:fill(x, y - 3, 1, 7, 255, 225, 80)
  img:fill(x - 1, y - 1, 3, 3, 255, 255, 210)
end

-- Sparks of a catch: each lives a number of frames and fades as it goes.
local sparks = {}
local function burst(x, y)
  for i = 1, 12 do
    local angle = i * math.pi / 6
    sparks[#sparks + 1] = {x = x, y = y, dx = 2 * math.cos(angle), dy = 2 * math.sin(angle), life = 24}
  end
end
local function draw_sparks(img)
  for i = #sparks, 1, -1 do
    local s = sparks[i]
    s.x, s.y, s.life = s.x + s.dx, s.y + s.dy, s.life - 1
    img:blend(math.floor(s.x), math.floor(s.y), 2, 2, 255, 250, 180, s.life * 10)
    if s.life == 0 then table.remove(sparks, i) end
  end
end

local title = text(title_font, "NorrikLua playground", 255, 255, 255)
local shadow = text(title_font, "NorrikLua playground", 0, 0, 0, 0.5)
local caught, score_text = 0, text(small_font, "stars 0", 255, 250, 200)
local nx, ny = 30, 112                  -- Norri's top-left corner
local last                              -- where the left button was in the last frame
local idle, pointer = 0, nil            -- frames without input; the pointer's last place

print("  playground: arrows walk Norri to the stars, the mouse paints (left) and rubs out")
print("  (right), 1 to 6 choose the paint, space stamps Norri, c clears, Esc ends it")

local frame = nk.image(W, H)
while not window:shouldclose() do
  -- The keys and the mouse of the last update.
  local step = 6
  if nk.key("left") then nx = nx - step end
  if nk.key("right") then nx = nx + step end
  if nk.key("up") then ny = ny - step end
  if nk.key("down") then ny = ny + step end
  nx = math.max(0, math.min(W - SIZE, nx))
  ny = math.max(18, math.min(H - SIZE, ny))
  local typed = nk.lastchar()
  if typed and palette[tonumber(typed)] then paint = palette[tonumber(typed)] end
  if nk.key("c") then canvas:fill(0, 0, W, H, 0, 0, 0, 0) end
  if nk.key("space") then canvas:draw(norri, nx, ny) end

  local mx, my, left, right, middle, px, py, over = window:mouse()
  local moved = pointer ~= mx + 10000 * my
  pointer = mx + 10000 * my
  if next(nk.keys()) or nk.lastchar() or left or right or middle or moved then idle = 0 else idle = idle + 1 end
  if idle >= IDLE_END then break end
  if left and over then
    stroke(last and last[1] or px, last and last[2] or py, px, py, brush)
    last = {px, py}
  else
    last = nil
  end
  if right and over then rubber(px, py) end

  for _, star in ipairs(stars) do
    if math.abs(star[1] - (nx + SIZE // 2)) <= 10 and math.abs(star[2] - (ny + SIZE // 2)) <= 10 then
      burst(star[1], star[2])
      star[1], star[2] = math.random(12, W - 12), math.random(26, GROUND - 12)
      caught = caught + 1
      score_text = text(small_font, "stars " .. caught, 255, 250, 200)
    end
  end

  -- The frame, back to front: each layer is laid over the last by its alpha.
  local count = window:frames()
  frame:draw(backdrop, 0, 0)
  frame:draw(canvas, 0, 0)
  for _, star in ipairs(stars) do draw_star(frame, star, count) end
  draw_sparks(frame)
  frame:draw(norri, nx, ny)
  frame:blend(0, 0, W, 18, 0, 0, 0, 90)            -- a band for the title and score
  if title then
    frame:draw(shadow, 7, 3)
    frame:draw(title, 6, 2)
  end
  if score_text then frame:draw(score_text, W - score_text:width() - 6, 4) end
  for i, colour in ipairs(palette) do
    local x = 6 + (i - 1) * 14
    if colour == paint then frame:fill(x - 1, H - 15, 12, 12, 255, 255, 255) end
    frame:fill(x, H - 14, 10, 10, colour[1], colour[2], colour[3])
  end
  local clock = text(small_font, "frame " .. count, 220, 240, 220)
  if clock then frame:draw(clock, W - clock:width() - 6, H - 15) end
  if idle >= IDLE_WARN then
    local note = text(small_font, string.format("nobody there? closing in %d s", (IDLE_END - idle) // 60 + 1), 255, 255, 255)
    if note then
      frame:blend(0, H // 2 - 10, W, 20, 0, 0, 0, 140)
      frame:draw(note, (W - note:width()) // 2, H // 2 - note:height() // 2)
    end
  end
  if over then                                     -- the pointer, in picture pixels
    frame:fill(px - 3, py, 7, 1, 0, 0, 0)
    frame:fill(px, py - 3, 1, 7, 0, 0, 0)
  end
  window:push(frame)
  window:update()
end

if idle >= IDLE_END then print("  playground: it ended by itself, as nobody was there") end
local summary = {frames = window:frames(), stars = caught}
window:destroy()
return summary
