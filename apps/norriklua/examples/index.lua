-- NorrikLua runs index.lua first: a look at what the platform does, then the prompt is yours.

print("NorrikLua " .. _VERSION:match("%d+%.%d+") .. " on OrvaneWindow")
print(string.format("  numbers: 2^0.5 = %.15g, math.sin(1) = %.15g, 7 // 2 = %d", 2^0.5, math.sin(1), 7 // 2))

-- Files live in the store (the folder given to nkhost with --files).
local notes = assert(io.open("notes.txt", "w"))
notes:write("written by index.lua\n")
notes:close()
notes = assert(io.open("notes.txt"))
print("  files: notes.txt says '" .. notes:read("l") .. "'")
notes:close()

-- Errors are C++ exceptions underneath; Lua catches them as usual.
local ok, err = pcall(error, "caught")
print("  errors: pcall gives " .. tostring(ok) .. ", '" .. err .. "'")

-- The playground opens a window and stays until it is closed (Esc or the close button).
-- Without a display, scripts/demo runs nkhost headless with demo.input, which plays a
-- person's part and ends with Esc, and has the host save every frame it shows in frames/.
local played = dofile("playground.lua")
if played then
  print(string.format("  window: %d frames, %d stars caught", played.frames, played.stars))
  local first = io.open("frames/frame-000001.png")
  if first then
    first:close()
    print("  frames: the host saved them as frames/frame-000001.png ... in the file store;")
    print("  the first is the background alone: a new window is shown before any push")
  end
end

print('Try: dofile("snake.lua"), dofile("life.lua"), dofile("playground.lua"), or exit.')
