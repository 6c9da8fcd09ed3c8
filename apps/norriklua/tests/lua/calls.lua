-- Calls, closures and varargs: argument adjustment, multiple results, tail calls,
-- upvalues shared between closures and loop iterations, select and table.pack/unpack
-- with varargs, and deep but legal recursion.

local function errs(f, what)
  local ok, err = pcall(f)
  assert(not ok and err:find(what, 1, true), err)
end

-- Argument and result adjustment.
local function args(a, b, c) return a, b, c end
local function none() end
local function many() return 1, 2, 3 end
assert(select("#", args()) == 3 and select("#", none()) == 0 and select("#", (many())) == 1)
local x, y, z, w = many()
assert(x == 1 and z == 3 and w == nil)
local a1, a2, a3 = args(many())
assert(a1 == 1 and a2 == 2 and a3 == 3)
local b1, b2, b3 = args(many(), 10)
assert(b1 == 1 and b2 == 10 and b3 == nil)
local t = {many(), many()}
assert(#t == 4 and t[2] == 1 and t[4] == 3)
assert(select("#", many(), many()) == 4 and select("#", nil, nil) == 2)
assert(math.max(many()) == 3 and string.format("%d%d%d", many()) == "123")

-- Varargs.
local function va(...)
  local n = select("#", ...)
  local a, b = ...
  return n, a, b, {...}, table.pack(...)
end
local n, va1, va2, list, packed = va(nil, 2, nil)
assert(n == 3 and va1 == nil and va2 == 2 and packed.n == 3 and list[2] == 2)
assert(select(-1, 1, 2, 3) == 3 and select(2, "a", "b", "c") == "b" and select("#", select(3, 1, 2, 3)) == 1)
assert(select("#", select(4, 1, 2, 3)) == 0)
errs(function() select(0, 1) end, "bad argument #1 to 'select' (index out of range)")
errs(function() select(-3, 1, 2) end, "bad argument #1 to 'select' (index out of range)")
local function count(...) return select("#", ...) end
assert(count(table.unpack({}, 1, 200)) == 200 and count(nil) == 1 and count() == 0)
local function passthrough(...) return ... end
assert(count(passthrough(1, nil, nil)) == 3)
local function sum(...)
  local s = 0
  for i = 1, select("#", ...) do s = s + (select(i, ...)) end
  return s
end
assert(sum(1, 2, 3, 4) == 10 and sum() == 0)
-- Varargs in the main chunk of a loaded function and with load arguments.
local chunk = load("local a, b = ... return b, a, select('#', ...)")
local r1, r2, r3 = chunk("x", "y", "z")
assert(r1 == "y" and r2 == "x" and r3 == 3)
-- A vararg function called with many arguments.
local big = {}
for i = 1, 240 do big[i] = i end
assert(sum(table.unpack(big)) == 240 * 241 / 2)

-- Tail calls do not grow the stack; the traceback shows them.
local function loop(k) if k == 0 then return "end" end return loop(k - 1) end
assert(loop(300000) == "end")
local function even(k) if k == 0 then return true end return odd(k - 1) end
function odd(k) if k == 0 then return false end return even(k - 1) end
assert(even(100001) == false)
odd = nil
local function tailinfo() return debug.traceback() end
local function caller() return tailinfo() end
assert(caller():find("(...tail calls...)", 1, true))
-- A tail call through a callable table.
local callable = setmetatable({}, {__call = function(self, a, b) return self, a, b end})
local function tc() return callable(1, 2) end
local s, c1, c2 = tc()
assert(s == callable and c1 == 1 and c2 == 2)

-- Closures: shared upvalues, fresh per iteration, counters, recursion.
local function counter()
  local c = 0
  return function() c = c + 1; return c end, function() return c end
end
local inc, get = counter()
inc(); inc()
local inc2 = counter()
inc2()
assert(get() == 2)
local fs = {}
for i = 1, 3 do fs[i] = function() return i end end
assert(fs[1]() == 1 and fs[3]() == 3)
local ws = {}
local j = 1
while j <= 3 do local k = j; ws[j] = function() k = k + 10; return k end; j = j + 1 end
assert(ws[1]() == 11 and ws[1]() == 21 and ws[2]() == 12)
local shared = {}
do
  local v = 0
  shared.set = function(n) v = n end
  shared.get = function() return v end
end
shared.set(42)
assert(shared.get() == 42)
-- Closures made in a loop over the same upvalue see each other's writes after the loop.
local getters, setters = {}, {}
for i = 1, 2 do
  local v = i
  getters[i] = function() return v end
  setters[i] = function(n) v = n end
end
setters[1](100)
assert(getters[1]() == 100 and getters[2]() == 2)
-- Recursive local functions and deep, non-tail recursion.
local function fib(k) if k < 2 then return k end return fib(k - 1) + fib(k - 2) end
assert(fib(20) == 6765)
local function depth(k) if k == 0 then return 0 end return 1 + depth(k - 1) end
assert(depth(15000) == 15000)
-- Many upvalues and many locals.
local src = {}
for i = 1, 199 do src[#src + 1] = "local v" .. i .. " = " .. i end
src[#src + 1] = "return function() return v1 + v100 + v199 end"
assert(load(table.concat(src, "\n"))()() == 300)
local _, err = load("local a1" .. string.rep(", a", 300) .. " = 1")
assert(err and err:find("too many local variables"), err)

-- Calls of non-functions.
errs(function() local v = 5; v() end, "attempt to call a number value (local 'v')")
errs(function() local tab = {}; tab.f() end, "attempt to call a nil value (field 'f')")
errs(function() (nil)() end, "attempt to call a nil value")
errs(function() setmetatable({}, {__call = 1})() end, "attempt to call a number value")

-- Methods and the colon syntax.
local obj = {v = 3}
function obj:get(k) return self.v * (k or 1) end
function obj.static(k) return k end
assert(obj:get(2) == 6 and obj.get(obj) == 3 and obj.static(7) == 7)
local chain = {n = 0}
function chain:add(k) self.n = self.n + k; return self end
assert(chain:add(1):add(2):add(3).n == 6)
-- String and table call sugar.
local function id(v) return v end
assert(id"lit" == "lit" and id{1}[1] == 1 and id[[long]] == "long")

print("OK calls")
