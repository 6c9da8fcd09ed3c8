-- Traversal and the length operator: next, pairs with __pairs, ipairs with __index, # on
-- borders, table.insert/remove positions and errors, tables growing and shrinking.

local function errs(f, what)
  local ok, err = pcall(f)
  assert(not ok and err:find(what, 1, true), err)
end

-- next visits every key exactly once, also while fields are cleared.
local t = {10, 20, 30, x = 1, y = 2, [1.5] = "f", [true] = "b"}
local seen, count = {}, 0
for k, v in next, t do
  assert(seen[k] == nil and t[k] == v)
  seen[k] = true
  count = count + 1
end
assert(count == 7 and next({}) == nil and select("#", next({})) == 1)
local k1 = next(t)
assert(k1 ~= nil and rawequal(next(t, k1), next(t, k1)))
errs(function() next(t, "absent") end, "invalid key to 'next'")
errs(function() next() end, "bad argument #1 to 'next' (table expected, got no value)")
local big = {}
for i = 1, 1000 do big[i] = i; big["k" .. i] = i end
local n = 0
for k in pairs(big) do big[k] = nil; n = n + 1 end   -- clearing fields during traversal is allowed
assert(n == 2000 and next(big) == nil)

-- pairs honours __pairs; ipairs goes through __index and stops at the first nil.
local mt = {__pairs = function(self) return function(_, k) if not k then return 1, "one" end end, self, nil end}
local custom = setmetatable({}, mt)
local got = {}
for k, v in pairs(custom) do got[#got + 1] = k .. "=" .. v end
assert(#got == 1 and got[1] == "1=one")
local a = {1, 2, nil, 4}
local m = 0
for i in ipairs(a) do m = i end
assert(m == 2)
local virtual = setmetatable({}, {__index = function(_, i) if i <= 5 then return i * i end end})
local squares = {}
for i, v in ipairs(virtual) do squares[i] = v end
assert(#squares == 5 and squares[5] == 25)
local ii, iv = ipairs({})
assert(type(ii) == "function" and select("#", ii({}, 0)) == 1 and ii({7}, 0) == 1)
errs(function() ipairs() end, "bad argument #1 to 'ipairs' (value expected)")
errs(function() for _ in pairs(nil) do end end, "bad argument #1 to 'for iterator' (table expected, got nil)")

-- # gives a border: t[#t] ~= nil and t[#t + 1] == nil (or 0 for an empty table).
local function border(tab)
  local b = #tab
  return (b == 0 or tab[b] ~= nil) and tab[b + 1] == nil
end
assert(#{} == 0 and #{1, 2, 3} == 3 and #{nil} == 0 and #{n = 1} == 0)
for _, holes in ipairs({{1, nil, 3}, {nil, nil, 3}, {1, 2, nil, nil, 5, nil}, {[1] = 1, [2] = 2, [4] = 4},
  {[1000] = 1}, {1, [3] = 3}}) do
  assert(border(holes))
end
local grow = {}
for i = 1, 100 do grow[i] = i; assert(#grow == i) end
for i = 100, 1, -1 do grow[i] = nil; assert(#grow == i - 1) end
local sparse = {}
sparse[2^53] = 1; sparse[math.maxinteger] = 2; sparse[math.mininteger] = 3
assert(#sparse == 0 and sparse[math.maxinteger] == 2)
assert(#setmetatable({}, {__len = function() return 42 end}) == 42 and rawlen({1, 2}) == 2 and rawlen("abc") == 3)
errs(function() return rawlen(5) end, "table or string expected")
errs(function() return #setmetatable({}, {__len = function() return {} end}) + 1 end, "attempt to perform arithmetic on a table value")

-- table.insert and table.remove: every position, and the errors.
local l = {}
table.insert(l, "a"); table.insert(l, 1, "b"); table.insert(l, 3, "c"); table.insert(l, 2, "d")
assert(table.concat(l) == "bdac")
errs(function() table.insert(l, 6, "x") end, "bad argument #2 to 'insert' (position out of bounds)")
errs(function() table.insert(l, 0, "x") end, "bad argument #2 to 'insert' (position out of bounds)")
errs(function() table.insert(l, 1, 2, 3) end, "wrong number of arguments to 'insert'")
errs(function() table.insert(l) end, "wrong number of arguments to 'insert'")
errs(function() table.insert(nil, 1) end, "bad argument #1 to 'insert' (table expected, got nil)")
table.insert(l, 5, "e")
assert(table.concat(l) == "bdace")
assert(table.remove(l) == "e" and table.remove(l, 1) == "b" and table.concat(l) == "dac")
assert(table.remove(l, #l + 1) == nil and #l == 3)
errs(function() table.remove(l, 7) end, "bad argument #1 to 'remove' (position out of bounds)")
errs(function() table.remove(l, -1) end, "bad argument #1 to 'remove' (position out of bounds)")
local empty = {}
assert(table.remove(empty) == nil and table.remove(empty, 0) == nil and table.remove(empty, 1) == nil)
local zero = {[0] = "z"}
assert(table.remove(zero, 0) == "z" and zero[0] == nil)
errs(function() table.remove({}, 2) end, "position out of bounds")
local numbered = {n = 0}
for i = 1, 5 do table.insert(numbered, i) end
assert(#numbered == 5 and numbered.n == 0)
while #numbered > 0 do table.remove(numbered, 1) end
assert(next(numbered) == "n")
-- insert/remove go through metamethods.
local backing = {}
local p = setmetatable({}, {__index = backing, __newindex = backing, __len = function() return #backing end})
table.insert(p, "x"); table.insert(p, 1, "w")
assert(backing[1] == "w" and backing[2] == "x" and rawget(p, 1) == nil)
assert(table.remove(p, 1) == "w" and backing[1] == "x" and backing[2] == nil)

-- Tables growing in the array and hash parts and shrinking again.
local mix = {}
for i = 1, 20000 do mix[i] = i; mix[-i] = -i; mix[i + 0.5] = i end
local c = 0
for _ in pairs(mix) do c = c + 1 end
assert(c == 60000 and #mix == 20000)
for i = 1, 20000 do mix[i + 0.5] = nil; mix[-i] = nil end
c = 0
for _ in pairs(mix) do c = c + 1 end
assert(c == 20000)
-- Constructors with many fields, positional and keyed, and multiple results at the end.
local function three() return 1, 2, 3 end
local ctor = {three(), three(), x = three(), three()}
assert(#ctor == 5 and ctor[2] == 1 and ctor.x == 1 and ctor[5] == 3)
assert(#{three(), nil} == 1 and #{(three())} == 1 and select("#", table.unpack({three(), nil, three()})) == 5)
local parts = {"return {"}
for i = 1, 3000 do parts[#parts + 1] = i .. "," end
for i = 1, 300 do parts[#parts + 1] = "k" .. i .. "=" .. i .. "," end
parts[#parts + 1] = "}"
local built = load(table.concat(parts))()
assert(#built == 3000 and built.k300 == 300)

-- Integer keys are normalised: 2^53 as float and integer are the same key.
local norm = {}
norm[3] = "int"; norm[3.0] = "float"
assert(norm[3] == "float" and math.type(next(norm)) == "integer")
norm[2^63] = "big"
assert(norm[2^63] == "big" and norm[math.mininteger] == nil)
errs(function() norm[nil] = 1 end, "table index is nil")
assert(norm[nil] == nil)

print("OK nextvar")
