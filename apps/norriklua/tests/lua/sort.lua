-- table.sort, table.move, table.pack and table.unpack: orderings, comparators, invalid
-- order functions, metamethod-backed tables and the size limits.

local function errs(f, what)
  local ok, err = pcall(f)
  assert(not ok and err:find(what, 1, true), err)
end
local function sorted(t, lt)
  for i = 2, #t do
    if lt then assert(not lt(t[i], t[i - 1]), i) else assert(not (t[i] < t[i - 1]), i) end
  end
  return true
end

-- Orders of every shape.
math.randomseed(7)
local sizes = _soft and {0, 1, 2, 3, 10, 100, 3000} or {0, 1, 2, 3, 10, 100, 1000, 30000}
for _, n in ipairs(sizes) do
  local shapes = {
    function(i) return math.random(-1000, 1000) end,
    function(i) return i end,
    function(i) return n - i end,
    function(i) return 5 end,
    function(i) return i % 7 end,
    function(i) return math.random() end,
  }
  for _, gen in ipairs(shapes) do
    local t, sum = {}, 0
    for i = 1, n do t[i] = gen(i); sum = sum + t[i] end
    table.sort(t)
    assert(#t == n and sorted(t))
    local s2 = 0
    for i = 1, n do s2 = s2 + t[i] end
    assert(math.abs(s2 - sum) < 1e-6)
    table.sort(t, function(a, b) return a > b end)
    assert(sorted(t, function(a, b) return a > b end))
  end
end

-- Strings, mixed integer/float keys, and a comparator on records.
local words = {"pear", "Apple", "fig", "apple", "", "banana", "fig"}
table.sort(words)
assert(table.concat(words, ",") == ",Apple,apple,banana,fig,fig,pear")
local nums = {3, 1.5, -2, 2^53, math.mininteger, math.huge, -math.huge, 0}
table.sort(nums)
assert(nums[1] == -math.huge and nums[2] == math.mininteger and nums[8] == math.huge and nums[5] == 1.5)
local people = {}
for i = 1, 50 do people[i] = {name = "p" .. i, age = (i * 37) % 23} end
table.sort(people, function(a, b) if a.age ~= b.age then return a.age < b.age end return a.name < b.name end)
for i = 2, 50 do
  local a, b = people[i - 1], people[i]
  assert(a.age < b.age or (a.age == b.age and a.name < b.name))
end

-- Errors: mixed types, bad comparators, comparator errors, too big arrays.
errs(function() table.sort({1, "x", 2}) end, "attempt to compare")
errs(function() table.sort({1, 2, 3}, 1) end, "bad argument #2 to 'sort' (function expected, got number)")
local ok, err = pcall(table.sort, {5, 4, 3, 2, 1, 9, 8, 7, 6, 5, 4, 3, 2, 1}, function() return true end)
assert(not ok and err:find("invalid order function for sorting"), err)
errs(function() table.sort({3, 2, 1}, function(a, b) error("stop here") end) end, "stop here")
errs(function() table.sort(setmetatable({}, {__len = function() return math.maxinteger end})) end, "array too big")
-- Sorting goes through __index and __newindex.
local store = {5, 3, 9, 1}
local proxy = setmetatable({}, {
  __index = store, __newindex = store, __len = function() return #store end})
table.sort(proxy)
assert(store[1] == 1 and store[4] == 9 and rawlen(proxy) == 0)
-- An inconsistent comparator never breaks the table: all elements stay.
local t = {}
for i = 1, 500 do t[i] = i end
pcall(table.sort, t, function(a, b) return math.random() < 0.5 end)
local seen = {}
for i = 1, 500 do seen[t[i]] = true end
for i = 1, 500 do assert(seen[i]) end

-- table.move: overlapping ranges both ways, other tables, metamethods, limits.
local a = {1, 2, 3, 4, 5}
table.move(a, 1, 3, 3)
assert(table.concat(a, ",") == "1,2,1,2,3")
a = {1, 2, 3, 4, 5}
table.move(a, 3, 5, 1)
assert(table.concat(a, ",") == "3,4,5,4,5")
local b = table.move({1, 2, 3}, 1, 3, 2, {})
assert(b[1] == nil and b[2] == 1 and b[4] == 3 and table.move({}, 1, 0, 1, b) == b)
assert(table.move({1, 2}, 1, 2, -1)[0] == 2)
local log = {}
local src = setmetatable({}, {__index = function(_, k) log[#log + 1] = "get" .. k; return k * 10 end})
local dst = setmetatable({}, {__newindex = function(t, k, v) log[#log + 1] = "set" .. k; rawset(t, k, v) end})
table.move(src, 1, 2, 5, dst)
assert(table.concat(log, " ") == "get1 set5 get2 set6" and dst[6] == 20)
errs(function() table.move({}, 0, math.maxinteger, 1) end, "too many elements to move")
errs(function() table.move({}, -1, math.maxinteger, 2) end, "too many elements to move")
errs(function() table.move({}, 1, 2, math.maxinteger) end, "destination wrap around")
assert(table.move({}, math.maxinteger, math.maxinteger - 1, 1))   -- empty range
errs(function() table.move(1, 1, 1, 1) end, "bad argument #1 to 'move' (table expected, got number)")

-- table.pack and table.unpack.
local p = table.pack()
assert(p.n == 0 and next(p) == "n")
p = table.pack(1, nil, 3, nil)
assert(p.n == 4 and p[1] == 1 and p[3] == 3 and p[4] == nil)
assert(select("#", table.unpack({1, 2, 3})) == 3 and select("#", table.unpack({1, nil, 3})) == 3)
assert(select("#", table.unpack({}, 1, 3)) == 3 and select("#", table.unpack({1, 2}, 2, 1)) == 0)
local x, y, z = table.unpack({1, 2, 3}, -1, 1)
assert(x == nil and y == nil and z == 1)
assert(table.unpack({1, 2, 3}, 3) == 3 and select("#", table.unpack({}, math.maxinteger, math.maxinteger)) == 1)
assert(select("#", table.unpack({}, math.mininteger, math.mininteger)) == 1)
assert(select("#", table.unpack({}, math.maxinteger, math.mininteger)) == 0)
errs(function() table.unpack({}, 1, 1e7) end, "too many results to unpack")
errs(function() table.unpack({}, math.mininteger, math.maxinteger) end, "too many results to unpack")
errs(function() table.unpack({}, 0, math.maxinteger) end, "too many results to unpack")
local many = {}
for i = 1, 10000 do many[i] = i end
local count = select("#", table.unpack(many))
assert(count == 10000 and select(10000, table.unpack(many)) == 10000)
local proxied = setmetatable({}, {__index = function(_, k) return k * 2 end})
local u1, u2 = table.unpack(proxied, 1, 2)
assert(u1 == 2 and u2 == 4)

print("OK sort")
