-- Snake, paced by frames. The arrow keys turn the snake, apples make it longer, and the
-- wall or its own tail ends the game. The platform has no clock, so the snake moves one
-- cell every few frames (the host shows 60 a second on the desktop), a little faster as it
-- grows. The best score is kept in the file store (snake.best) and outlives the session.
--
-- dofile("snake.lua") plays one game and returns its score. Nobody at the keys? The snake
-- runs into the wall and the game ends by itself.

local COLS, ROWS, CELL = 32, 18, 10
local TOP = 20                                   -- a line for the score above the field
local W, H = COLS * CELL, TOP + ROWS * CELL

local window, why = nk.window("NorrikLua snake", 2 * W, 2 * H)
if not window then
  print("  snake: no window (" .. why .. ")")
  return nil
end
local font = nk.font("DejaVu Sans Mono", 12)

local function read_best()
  local file = io.open("snake.best")
  if not file then return 0 end
  local best = file:read("n") or 0
  file:close()
  return best
end

-- The field, drawn once: a checkerboard of two greens.
local board = nk.image(W, H, 20, 30, 25)
for row = 0, ROWS - 1 do
  for col = 0, COLS - 1 do
    local shade = (row + col) % 2 == 0 and 86 or 102
    board:fill(col * CELL, TOP + row * CELL, CELL, CELL, 30, shade, 40)
  end
end

local snake = {{x = 8, y = 9}, {x = 7, y = 9}, {x = 6, y = 9}}   -- head first
local dx, dy = 1, 0
local turn                                       -- the last arrow typed since the last step
local apple
local score, best = 0, read_best()
local wait = 90                                  -- frames until the next step: a moment to get ready

local function occupied(x, y)
  for _, part in ipairs(snake) do
    if part.x == x and part.y == y then return true end
  end
  return false
end

local function place_apple()
  repeat apple = {x = math.random(0, COLS - 1), y = math.random(0, ROWS - 1)} until not occupied(apple.x, apple.y)
end

-- One cell forward; false when the snake hit something.
local function step()
  if turn and (turn[1] ~= -dx or turn[2] ~= -dy) then dx, dy = turn[1], turn[2] end
  turn = nil
  local x, y = snake[1].x + dx, snake[1].y + dy
  if x < 0 or y < 0 or x >= COLS or y >= ROWS then return false end
  local ate = x == apple.x and y == apple.y
  if not ate then table.remove(snake) end        -- the tail moves on unless the snake grows
  if occupied(x, y) then return false end
  table.insert(snake, 1, {x = x, y = y})
  if ate then
    score = score + 1
    place_apple()
  end
  return true
end

local function cell(x, y, r, g, b, inset)
  inset = inset or 1
  return x * CELL + inset, TOP + y * CELL + inset, CELL - 2 * inset, CELL - 2 * inset, r, g, b
end

local function draw(frame)
  frame:draw(board, 0, 0)
  local ax, ay = apple.x * CELL, TOP + apple.y * CELL
  frame:fill(ax + 2, ay + 3, 6, 6, 220, 40, 40)                 -- an apple: a round-ish red
  frame:fill(ax + 1, ay + 4, 8, 4, 220, 40, 40)
  frame:fill(ax + 5, ay + 1, 2, 2, 60, 160, 40)                 -- and its leaf
  for i = #snake, 1, -1 do
    local green = i == 1 and 230 or 200 - math.min(i, 20) * 4
    frame:fill(cell(snake[i].x, snake[i].y, 240, green, 60))
  end
  frame:fill(snake[1].x * CELL + 3, TOP + snake[1].y * CELL + 3, 2, 2, 0, 0, 0)  -- an eye
  local line = font and font:render(string.format("score %d   best %d", score, math.max(best, score)), 255, 255, 255)
  if line then frame:draw(line, 6, (TOP - line:height()) // 2) end
end

place_apple()
local frame = nk.image(W, H)
local over_at                                    -- the frame the game ended in
while not window:shouldclose() do
  if nk.key("up") then turn = {0, -1} end
  if nk.key("down") then turn = {0, 1} end
  if nk.key("left") then turn = {-1, 0} end
  if nk.key("right") then turn = {1, 0} end
  if not over_at then
    wait = wait - 1
    if wait <= 0 then
      wait = math.max(4, 10 - #snake // 4)
      if not step() then over_at = window:frames() end
    end
  end
  draw(frame)
  if window:frames() < 90 and font then
    local hint = font:render("arrow keys steer", 255, 255, 255)
    frame:draw(hint, (W - hint:width()) // 2, TOP + 20)
  end
  if over_at then
    -- Game over: the field darkens over half a second, then three seconds to read the score.
    local shown = window:frames() - over_at
    frame:blend(0, TOP, W, H - TOP, 0, 0, 0, math.min(shown * 6, 160))
    local message = font and font:render("game over", 255, 230, 120)
    if message then frame:draw(message, (W - message:width()) // 2, H // 2 - 6) end
    if shown >= 210 or nk.key("return") then window:close() end
  end
  window:push(frame)
  window:update()
end
window:destroy()

if score > best then
  local file = assert(io.open("snake.best", "w"))
  file:write(score, "\n")
  file:close()
  print("  snake: score " .. score .. ", a new best")
else
  print("  snake: score " .. score .. " (best " .. best .. ")")
end
return score
