-- Metatables and events: every metamethod, __index/__newindex chains, comparison and
-- equality rules, __len, __call, __close, __name, __metatable protection, rawget/rawset.

local function errs(f, what)
  local ok, err = pcall(f)
  assert(not ok and err:find(what, 1, true), err)
end

-- Arithmetic and bitwise events receive operands in order, either side may be the object.
local log = {}
local V = {}
local function new(v) return setmetatable({v = v}, V) end
local function val(x) return type(x) == "table" and x.v or x end
for _, ev in ipairs({"add", "sub", "mul", "div", "mod", "pow", "idiv", "band", "bor", "bxor", "shl", "shr", "concat"}) do
  V["__" .. ev] = function(a, b) log[#log + 1] = ev; return ev .. ":" .. tostring(val(a)) .. "," .. tostring(val(b)) end
end
V.__unm = function(a, b) return "unm:" .. val(a) .. "," .. tostring(val(b)) end
V.__bnot = function(a) return "bnot:" .. val(a) end
local o = new(5)
assert(o + 1 == "add:5,1" and 1 + o == "add:1,5" and o - o == "sub:5,5" and o * 2 == "mul:5,2")
assert(o / 2 == "div:5,2" and o % 2 == "mod:5,2" and o ^ 2 == "pow:5,2" and o // 2 == "idiv:5,2")
assert(o & 1 == "band:5,1" and 1 | o == "bor:1,5" and o ~ 1 == "bxor:5,1" and o << 1 == "shl:5,1" and o >> 1 == "shr:5,1")
assert(o .. "s" == "concat:5,s" and "s" .. o == "concat:s,5" and 1 .. o == "concat:1,5")
assert(-o == "unm:5,5" and ~o == "bnot:5")
-- Concatenation chains call __concat from the right.
log = {}
local chain = "a" .. "b" .. o .. "c"
assert(chain == "abconcat:5,c" and #log == 1)   -- o .. "c" first, the rest are strings
-- Bitwise events also fire for floats without integer values and for strings.
local B = setmetatable({}, {__band = function(a, b) return "band" end})
assert(1.5 & B == "band" and "x" & B == "band")
errs(function() return 1.5 & 1 end, "number has no integer representation")
errs(function() return {} + 1 end, "attempt to perform arithmetic on a table value")

-- __index: functions, tables, chains; rawget bypasses them.
local base = {greet = function() return "hi" end, shared = 1}
local mid = setmetatable({mid = true}, {__index = base})
local leaf = setmetatable({}, {__index = mid})
assert(leaf.greet() == "hi" and leaf.mid and leaf.shared == 1 and rawget(leaf, "shared") == nil)
local fcount = 0
local lazy = setmetatable({}, {__index = function(t, k) fcount = fcount + 1; rawset(t, k, k * 2); return k * 2 end})
assert(lazy[21] == 42 and lazy[21] == 42 and fcount == 1)
local deep = {}
local cur = deep
for i = 1, 90 do local nxt = {}; setmetatable(cur, {__index = nxt}); cur = nxt end
cur.bottom = "found"
assert(deep.bottom == "found")
local loopy = setmetatable({}, {})
getmetatable(loopy).__index = loopy
errs(function() return loopy.x end, "'__index' chain too long; possible loop")
-- __index on strings goes through the string metatable.
assert(("x").len == string.len)

-- __newindex: functions and tables; only for absent keys; rawset bypasses.
local store = {}
local guarded = setmetatable({present = 1}, {__newindex = function(t, k, v) store[k] = v end})
guarded.present = 2
guarded.absent = 3
assert(guarded.present == 2 and rawget(guarded, "absent") == nil and store.absent == 3)
rawset(guarded, "absent", 4)
assert(guarded.absent == 4)
local target = {}
local redirect = setmetatable({}, {__newindex = target})
redirect.x = 1
assert(target.x == 1 and rawget(redirect, "x") == nil)
local inner = setmetatable({}, {__newindex = function(_, k, v) store["inner" .. k] = v end})
local outer = setmetatable({}, {__newindex = inner})
outer.z = 9
assert(store.innerz == 9)
local wloop = setmetatable({}, {})
getmetatable(wloop).__newindex = wloop
errs(function() wloop.x = 1 end, "'__newindex' chain too long; possible loop")
errs(function() setmetatable({}, {__newindex = 5}).x = 1 end, "attempt to index a number value")

-- __eq only for two tables (or two userdata), never for primitive comparisons; result is a boolean.
local eqcalls = 0
local E = {__eq = function(a, b) eqcalls = eqcalls + 1; return a.id == b.id and "yes" end}
local e1, e2, e3 = setmetatable({id = 1}, E), setmetatable({id = 1}, E), setmetatable({id = 2}, {})
assert(e1 == e2 and (e1 == e2) == true and e1 ~= e3 and eqcalls == 3)
assert(e1 ~= 1 and eqcalls == 3 and rawequal(e1, e1) and not rawequal(e1, e2))
assert(e1 == e1 and eqcalls == 3)                -- identical objects never call __eq
assert(e3 ~= e1 and eqcalls == 4)                -- the first operand's __eq, else the second's

-- __lt and __le; results become booleans.
local C = {}
C.__lt = function(a, b) return val(a) < val(b) end
C.__le = function(a, b) return val(a) <= val(b) and 1 or nil end
local c1, c2 = setmetatable({v = 1}, C), setmetatable({v = 2}, C)
assert(c1 < c2 and not (c2 < c1) and c2 > c1 and c1 <= c2 and c2 >= c1 and (c1 <= c2) == true)
assert(c1 < 5 and 0 < c1 and not (c1 <= 0) and (c2 <= c1) == false)
local onlylt = setmetatable({}, {__lt = function() return true end})
assert((onlylt <= onlylt) == false)   -- 5.3 compatibility (on here, as in Debian's build): not (b < a)
errs(function() return {} < {} end, "attempt to compare two table values")
local tbl = {3, 1, 2}
for i, v in ipairs(tbl) do tbl[i] = setmetatable({v = v}, C) end
table.sort(tbl)
assert(tbl[1].v == 1 and tbl[3].v == 3)

-- __len, __call, __tostring, __name, __metatable.
local L = setmetatable({1, 2, 3}, {__len = function(t) return rawlen(t) * 10 end})
assert(#L == 30 and rawlen(L) == 3)
local callme = setmetatable({}, {__call = function(self, a, b) return self, a + b end})
local self_, res = callme(2, 3)
assert(self_ == callme and res == 5 and select(2, pcall(callme, 1, 1)) == callme)
local echo = setmetatable({}, {__call = function(...) return ... end})
local nested = setmetatable({}, {__call = echo})
local s1, s2, s3 = nested(4)
assert(s1 == echo and s2 == nested and s3 == 4)   -- __call values may themselves be callable
local named = setmetatable({}, {__name = "Widget"})
assert(tostring(named):find("^Widget: "))
errs(function() return named + 1 end, "attempt to perform arithmetic on a Widget value")
local locked = setmetatable({}, {__metatable = "locked"})
assert(getmetatable(locked) == "locked")
errs(function() setmetatable(locked, {}) end, "cannot change a protected metatable")
assert(getmetatable("").__metatable == nil and getmetatable("abc").__index == string)
errs(function() setmetatable({}, 1) end, "bad argument #2 to 'setmetatable' (nil or table expected, got number)")
assert(setmetatable({}, nil) and getmetatable(setmetatable(setmetatable({}, {}), nil)) == nil)

-- __close and __gc are looked up when the value is marked.
local closed = {}
do
  local a <close> = setmetatable({}, {__close = function(obj, err) closed[#closed + 1] = err == nil end})
end
assert(closed[1] == true)
local mt = {__close = function() closed.second = true end}
do
  local b <close> = setmetatable({}, mt)
  mt.__close = function() closed.changed = true end   -- the metamethod at close time counts
end
assert(closed.changed and not closed.second)

-- __mode, __index on missing globals through _ENV.
local env = setmetatable({}, {__index = _G})
local f = load("x = 10; return print ~= nil, x", "chunk", "t", env)
local hasprint, xv = f()
assert(hasprint and xv == 10 and env.x == 10 and rawget(_G, "x") == nil)
local strict = setmetatable({}, {__index = function(_, k) error("undefined " .. k, 2) end})
local g = load("return undefinedname", "=strict", "t", strict)
errs(g, "strict:1: undefined undefinedname")

-- rawequal, rawlen, rawget, rawset argument checks.
errs(function() rawset({}, nil, 1) end, "table index is nil")
errs(function() rawget(1, 1) end, "bad argument #1 to 'rawget' (table expected, got number)")
errs(function() rawlen(1) end, "table or string expected")
assert(rawequal("a", "a") and not rawequal({}, {}) and rawequal(1, 1.0))

print("OK events")
