-- NorrikLua's demo: what the platform does, then the prompt is yours.

print("NorrikLua " .. _VERSION:match("%d+%.%d+") .. " on OrvaneWindow")
print(string.format("  numbers: 2^0.5 = %.15g, math.sin(1) = %.15g, 7 // 2 = %d", 2^0.5, math.sin(1), 7 // 2))

-- Files live in the store (the folder given to nkhost with --files).
local notes = assert(io.open("notes.txt", "w"))
notes:write("written by index.lua\n")
notes:close()
print("  files: notes.txt says '" .. io.open("notes.txt"):read("l") .. "'")

-- Errors are C++ exceptions underneath; Lua catches them as usual.
local ok, err = pcall(error, "caught")
print("  errors: pcall gives " .. tostring(ok) .. ", '" .. err .. "'")

-- An animation: a ball bouncing in a 160 x 100 image, shown in a window when there is one
-- (frames are saved with --frames DIR on a headless host), else drawn here in text.
local W, H = 160, 100
local function frame(t)
  local img = nk.image(W, H, 20, 24, 48)
  img:fill(0, H - 8, W, 8, 90, 160, 90)
  local x = math.floor((W - 16) * (0.5 + 0.5 * math.sin(t / 5)))
  local y = 20 + math.floor((H - 44) * math.abs(math.cos(t / 4)))
  img:fill(x, y, 16, 16, 240, 200, 60)
  return img
end

local window = nk.window("NorrikLua demo", 320, 200)
if window then
  local font = nk.font(nil, 12)
  for t = 0, 59 do
    if window:shouldclose() then break end
    local img = frame(t)
    if font then
      local label = font:render("NorrikLua", 255, 255, 255)
      if label then img:draw(label, 2, 2) end
    end
    window:push(img)
    window:update()
  end
  print("  window: 60 frames shown (" .. window:title() .. ")")
  window:destroy()
else
  local shades = " .:-=+*#%@"
  local img = frame(7)
  for row = 0, H - 1, 8 do
    local line = {}
    for col = 0, W - 1, 4 do
      local r, g, b = img:get(col, row)
      local level = (r + g + b) // 3
      line[#line + 1] = shades:sub(level * #shades // 256 + 1, level * #shades // 256 + 1)
    end
    print("  " .. table.concat(line))
  end
  print("  (no window on this host: the frame is drawn in text)")
end

print("Try: dofile(\"life.lua\"), nk.image(4, 4):get(0, 0), or exit.")
