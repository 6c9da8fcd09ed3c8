-- Tables, the table library and metatables.

local t = {10, 20, 30, x = 1, [1.0e0 + 1] = 20}
assert(#t == 3 and t[2] == 20 and t.x == 1 and t[2.0] == 20)
table.insert(t, 40)
table.insert(t, 1, 5)
assert(table.concat(t, ",") == "5,10,20,30,40")
assert(table.remove(t) == 40 and table.remove(t, 1) == 5 and #t == 3)
assert(table.remove({}) == nil and not pcall(table.insert, {1}, 5, 2))
assert(table.concat({1, 2.5, "x"}, "-", 2, 3) == "2.5-x" and table.concat({}) == "")
assert(not pcall(table.concat, {1, {}, 3}))
local packed = table.pack(1, nil, 3)
assert(packed.n == 3 and packed[3] == 3 and select("#", table.unpack(packed, 1, packed.n)) == 3)
assert(select("#", table.unpack({}, 1, 0)) == 0)
assert(table.move({1, 2, 3}, 1, 3, 2)[3] == 2)
local dst = table.move({1, 2, 3}, 1, 3, 1, {})
assert(#dst == 3 and dst[1] == 1)

-- Sorting: numbers, strings, a custom order, many elements, a bad comparison.
local nums = {}
for i = 1, 5000 do nums[i] = (i * 7919) % 5003 end
table.sort(nums)
for i = 2, #nums do assert(nums[i - 1] <= nums[i]) end
local names = {"pear", "apple", "fig", "banana"}
table.sort(names)
assert(table.concat(names, " ") == "apple banana fig pear")
table.sort(names, function(a, b) return #a < #b end)
assert(names[1] == "fig")
local desc = {3, 1, 2}
table.sort(desc, function(a, b) return a > b end)
assert(desc[1] == 3 and desc[3] == 1)
assert(not pcall(table.sort, {1, "x", 2}))
-- An inconsistent order may or may not be detected, but sorting always returns.
pcall(table.sort, {5, 4, 3, 2, 1, 0, 9, 8, 7, 6, 5, 4}, function() return true end)

-- Traversal.
local keys = 0
for k, v in pairs({a = 1, b = 2, c = 3, 4}) do keys = keys + 1 end
assert(keys == 4)
local seq = {}
for i, v in ipairs({1, 2, nil, 4}) do seq[#seq + 1] = v end
assert(#seq == 2)
assert(next({}) == nil and type(next({1})) == "number")
local big = {}
for i = 1, 100000 do big[i] = i end
for i = 1, 100000, 2 do big[i] = nil end
local count = 0
for _ in pairs(big) do count = count + 1 end
assert(count == 50000)
local sparse = {[1] = 1, [2] = 2, [1000000] = 3}
assert(sparse[1000000] == 3)
assert(not pcall(function() local x = {} x[nil] = 1 end))
assert(not pcall(function() local x = {} x[0 / 0] = 1 end))
assert(({[2^53] = "f"})[2^53] == "f" and ({[3] = "i"})[3.0] == "i")

-- Metatables.
local V = {}
V.__index = V
V.__add = function(a, b) return setmetatable({x = a.x + b.x}, V) end
V.__eq = function(a, b) return a.x == b.x end
V.__lt = function(a, b) return a.x < b.x end
V.__le = function(a, b) return a.x <= b.x end
V.__len = function(a) return a.x end
V.__tostring = function(a) return "V(" .. a.x .. ")" end
V.__concat = function(a, b) return tostring(a) .. tostring(b) end
V.__call = function(self, y) return self.x + y end
V.__unm = function(a) return setmetatable({x = -a.x}, V) end
V.__idiv = function() return "idiv" end
V.__band = function() return "band" end
V.__shl = function() return "shl" end
V.__bnot = function() return "bnot" end
V.__mod = function() return "mod" end
V.__pow = function() return "pow" end
V.__name = "Vector"
function V.new(x) return setmetatable({x = x}, V) end
function V:double() return V.new(self.x * 2) end
local a, b = V.new(1), V.new(2)
assert((a + b).x == 3 and a ~= b and a == V.new(1) and a < b and a <= b and not (b < a))
assert(#b == 2 and tostring(a) == "V(1)" and a .. b == "V(1)V(2)" and a(10) == 11)
assert((-a).x == -1 and a:double().x == 2 and a // 1 == "idiv" and a & 1 == "band")
assert(a << 1 == "shl" and ~a == "bnot" and a % 2 == "mod" and a ^ 2 == "pow")
local log = {}
local proxy = setmetatable({}, {
  __index = function(_, k) return k .. "!" end,
  __newindex = function(t, k, v) log[#log + 1] = k rawset(t, k, v) end,
})
assert(proxy.hi == "hi!")
proxy.a = 1
assert(log[1] == "a" and rawget(proxy, "a") == 1 and rawget(proxy, "b") == nil)
assert(getmetatable("x").__index == string)
local locked = setmetatable({}, {__metatable = "locked"})
assert(getmetatable(locked) == "locked" and not pcall(setmetatable, locked, {}))
assert(rawequal(a, a) and not rawequal(a, V.new(1)) and rawlen({1, 2}) == 2)
local chain = setmetatable({}, {__index = setmetatable({}, {__index = {deep = 42}})})
assert(chain.deep == 42)

-- To-be-closed variables run their __close in reverse order, errors or not.
local closed = {}
do
  local x <close> = setmetatable({}, {__close = function() closed[#closed + 1] = "x" end})
  local y <close> = setmetatable({}, {__close = function() closed[#closed + 1] = "y" end})
end
assert(closed[1] == "y" and closed[2] == "x")
local ok = pcall(function()
  local z <close> = setmetatable({}, {__close = function(_, e) closed[#closed + 1] = e end})
  error("inside", 0)
end)
assert(not ok and closed[3] == "inside")
local constant <const> = 10
assert(constant == 10)
assert(not load("local c <const> = 1; c = 2"))
