-- Memory runs out inside Lua (nkhost refuses requests beyond --memory-limit): Lua raises
-- "not enough memory", the error is caught like any other, and after the collector has
-- run the program goes on normally.

local hoard = {}
local ok, err = pcall(function()
  while true do hoard[#hoard + 1] = string.rep("x", 1000) .. #hoard end
end)
assert(not ok and err == "not enough memory", err)
local filled = #hoard
hoard = nil
collectgarbage()
local t = {}
for i = 1, 1000 do t[i] = tostring(i) end
assert(#t == 1000 and filled > 100)

local ok2, err2 = pcall(string.rep, "x", 100000000)
assert(not ok2 and err2 == "not enough memory", err2)

local co = coroutine.create(function()
  local big = {}
  while true do big[#big + 1] = {} end
end)
local ok3, err3 = coroutine.resume(co)
assert(not ok3 and err3 == "not enough memory", err3)
co = nil
collectgarbage()

-- A second time, to show nothing was left broken by the first.
local again = {}
local ok4 = pcall(function() while true do again[#again + 1] = {} end end)
assert(not ok4)
again = nil
collectgarbage()
assert(string.format("%d", 42) == "42")
