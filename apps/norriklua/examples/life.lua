-- Conway's game of life on a small torus, printed generation by generation.
local W, H = 32, 12
local cells = {}
for y = 1, H do
  cells[y] = {}
  for x = 1, W do cells[y][x] = false end
end
-- A glider and a blinker.
for _, p in ipairs({{2, 1}, {3, 2}, {1, 3}, {2, 3}, {3, 3}, {20, 6}, {21, 6}, {22, 6}}) do
  cells[p[2]][p[1]] = true
end

local function step()
  local next = {}
  for y = 1, H do
    next[y] = {}
    for x = 1, W do
      local n = 0
      for dy = -1, 1 do
        for dx = -1, 1 do
          if (dx ~= 0 or dy ~= 0) and cells[(y + dy - 1) % H + 1][(x + dx - 1) % W + 1] then n = n + 1 end
        end
      end
      next[y][x] = n == 3 or (n == 2 and cells[y][x])
    end
  end
  cells = next
end

for generation = 1, 4 do
  print("generation " .. generation)
  for y = 1, H do
    local row = {}
    for x = 1, W do row[x] = cells[y][x] and "#" or "." end
    print(table.concat(row))
  end
  step()
end
