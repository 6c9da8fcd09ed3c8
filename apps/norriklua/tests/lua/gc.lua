-- The garbage collector: memory comes back, finalizers run, weak tables let go.

local function kb() return collectgarbage("count") end
collectgarbage()
local base = kb()
for round = 1, 5 do
  local junk = {}
  for i = 1, 20000 do junk[i] = {i, tostring(i), string.rep("x", i % 50)} end
  junk = nil
  collectgarbage()
  assert(kb() < base + 200, kb() - base)
end

-- Incremental and generational modes, steps, and the collector's switches.
assert(collectgarbage("incremental") == "incremental" or true)
assert(collectgarbage("generational") == "incremental")
for i = 1, 50000 do local _ = {i} end
assert(collectgarbage("incremental") == "generational")
assert(collectgarbage("isrunning"))
collectgarbage("stop")
assert(not collectgarbage("isrunning"))
collectgarbage("restart")
local done
repeat done = collectgarbage("step", 100) until done
assert(type(collectgarbage("count")) == "number" and collectgarbage("collect") == 0)

-- Finalizers, also resurrecting ones and ones that fail.
local finalized = {}
for i = 1, 100 do setmetatable({}, {__gc = function() finalized[#finalized + 1] = i end}) end
collectgarbage()
collectgarbage()
assert(#finalized == 100)
local saved
setmetatable({name = "phoenix"}, {__gc = function(o) saved = o end})
collectgarbage()
assert(saved and saved.name == "phoenix")
setmetatable({}, {__gc = function() error("in finalizer") end})
collectgarbage()  -- a warning at most, never an error here

-- Weak tables.
local weak_keys = setmetatable({}, {__mode = "k"})
local weak_values = setmetatable({}, {__mode = "v"})
local keep = {}
weak_keys[keep] = 1
weak_keys[{}] = 2
weak_values[1] = keep
weak_values[2] = {}
collectgarbage()
local n = 0
for _ in pairs(weak_keys) do n = n + 1 end
assert(n == 1 and weak_values[1] == keep and weak_values[2] == nil)
local ephemeron = setmetatable({}, {__mode = "k"})
do local k = {} ephemeron[k] = {k} end
collectgarbage()
assert(next(ephemeron) == nil)

-- Strings are collected too; interned short strings stay equal.
local s1 = "abc" .. tostring(123)
local s2 = "abc123"
assert(s1 == s2)
local long = string.rep("long", 100000)
long = nil
collectgarbage()
assert(kb() < base + 200)
