-- Control structures: numeric for loops at the integer and float limits, generic for,
-- while/repeat scoping, goto and labels with their rules, operator precedence and
-- short-circuit evaluation, multiple assignment order.

local function errs(f, what)
  local ok, err = pcall(f)
  assert(not ok and err:find(what, 1, true), err)
end
local function loadfails(src, what)
  local f, err = load(src)
  assert(f == nil and err:find(what, 1, true), err)
end
local function steps(a, b, c)
  local list = {}
  for i = a, b, c do list[#list + 1] = i; if #list > 20 then break end end
  return list
end

-- Numeric for: counts, bounds, overflow-free loops at the integer limits.
local maxi, mini = math.maxinteger, math.mininteger
assert(#steps(1, 10, 1) == 10 and #steps(10, 1, -1) == 10 and #steps(1, 0, 1) == 0 and #steps(1, 1, 1) == 1)
assert(#steps(1, 10, 3) == 4 and steps(1, 10, 3)[4] == 10 and #steps(10, 1, -4) == 3)
local l = steps(maxi - 2, maxi, 1)
assert(#l == 3 and l[3] == maxi)                      -- no wrap-around at the top
l = steps(mini + 2, mini, -1)
assert(#l == 3 and l[3] == mini)
l = steps(mini, maxi, maxi)
assert(#l == 3 and l[1] == mini and l[2] == -1 and l[3] == maxi - 1)
l = steps(maxi, mini, mini)
assert(#l == 2 and l[2] == -1)
assert(#steps(1, maxi, maxi) == 1 and #steps(0, maxi, maxi) == 2 and #steps(maxi, maxi, 1) == 1)
-- Float limits and mixed types: an integer loop clips a float limit.
l = steps(1, 3.5, 1)
assert(#l == 3 and math.type(l[1]) == "integer")
l = steps(1, 1e300, maxi)
assert(#l == 1 and l[1] == 1)   -- the float limit is clipped to maxinteger
assert(#steps(3, -math.huge, 1) == 0 and #steps(3, math.huge, -1) == 0 and #steps(1, 0 / 0, 1) == 0)
assert(#steps(maxi, 2^63, 1) == 1 and #steps(mini, -2^63, -1) == 1 and #steps(mini, -2^63 - 1e5, -1) == 1 and #steps(mini, -1e300, 1) == 0)
l = steps(1.0, 2, 0.5)
assert(#l == 3 and math.type(l[1]) == "float" and l[3] == 2.0)
l = steps(0.1, 0.35, 0.1)
assert(#l == 3)
l = steps(1, 2, 0.5)
assert(#l == 3 and math.type(l[1]) == "float")
errs(function() for i = 1, 10, 0 do end end, "'for' step is zero")
errs(function() for i = 1.0, 10, 0.0 do end end, "'for' step is zero")
errs(function() for i = 1, "x" do end end, "bad 'for' limit (number expected, got string)")
errs(function() for i = 1, 2, {} do end end, "bad 'for' step (number expected, got table)")
-- The control variable is a fresh local; changing it does not change the loop.
local iterations = 0
for i = 1, 3 do i = i * 10; iterations = iterations + 1 end
assert(iterations == 3)
-- Numeric strings are converted, to floats.
local seen = {}
for i = "1", 2 do seen[#seen + 1] = math.type(i) .. i end
assert(table.concat(seen, " ") == "float1.0 float2.0")

-- Generic for: stateless iterators, state and control, extra values.
local function iter(s, c) if c < s then return c + 1, c * 2 end end
local got = {}
for k, v in iter, 3, 0 do got[#got + 1] = k .. ":" .. v end
assert(table.concat(got, " ") == "1:0 2:2 3:4")
local calls = 0
for _ in function() calls = calls + 1; if calls < 4 then return calls end end do end
assert(calls == 4)

-- while and repeat: the repeat condition sees the body's locals.
local k = 0
repeat local done = k >= 3; k = k + 1 until done
assert(k == 4)
local m = 10
while m > 0 do m = m - 3 if m == 4 then break end end
assert(m == 4)

-- goto: loops, continue, nested blocks, backward jumps, and the compile-time rules.
local out = {}
for i = 1, 5 do
  if i % 2 == 0 then goto continue end
  out[#out + 1] = i
  ::continue::
end
assert(table.concat(out) == "135")
local n = 0
::top::
n = n + 1
if n < 5 then goto top end
assert(n == 5)
do
  goto skip
  error("not skipped")
  ::skip::
end
local closures = {}
do
  local i = 1
  ::again::
  local v = i
  closures[i] = function() return v end
  i = i + 1
  if i <= 3 then goto again end
end
assert(closures[1]() == 1 and closures[3]() == 3)          -- each pass makes a fresh local
for i = 1, 3 do
  for j = 1, 3 do
    if j == 2 then goto next_i end
  end
  ::next_i::
end
loadfails("goto nowhere", "no visible label 'nowhere' for <goto>")
loadfails("do ::a:: end goto a", "no visible label 'a' for <goto>")
loadfails("::a:: ::a::", "label 'a' already defined")
loadfails("goto f; local x; ::f:: print(x)", "jumps into the scope of local 'x'")
loadfails("repeat goto cont; local x; ::cont:: until x", "jumps into the scope of local 'x'")
assert(load("goto f; local x; ::f::"))                     -- a label at the block end is fine
assert(load("do goto e; local x; ::e:: end"))
loadfails("break", "break outside loop")
loadfails("for i = 1, 2 do end break", "break outside loop")

-- Precedence and associativity.
assert(2 + 3 * 4 ^ 2 / 8 == 8 and -2 ^ 2 == -4 and 2 ^ 3 ^ 2 == 512 and (2 ^ 3) ^ 2 == 64)
assert(not nil == true and not 1 == false and #"abc" + 1 == 4 and -"2" + 1 == -1)
assert("a" .. "b" .. "c" == "abc" and 1 .. 2 == "12" and "x" .. 1 + 2 == "x3")
assert(1 < 2 == true and (1 == 1) ~= false and 5 // 2 * 2 == 4 and 7 % 4 % 3 == 0)
assert(1 | 2 ~ 3 & 4 << 1 == 3 and ~0 >> 60 == 15 and 1 << 2 + 1 == 8 and "3" .. 4 + 1 == "35")
assert((1 or error("x")) == 1 and (nil and error("x")) == nil and (false or nil) == nil and (nil or false) == false)
assert((1 and 2) == 2 and (false and 2) == false and (nil or "d") == "d")
local side = 0
local function bump() side = side + 1; return true end
local _ = false and bump()
_ = true or bump()
assert(side == 0)
-- Comparisons chain through and/or.
local cmp = 3
assert((cmp > 2 and cmp < 4) and not (cmp > 4 or cmp < 2))

-- Multiple assignment: all expressions are evaluated before any assignment.
local a, b, c = 1, 2, 3
a, b, c = c, a, b
assert(a == 3 and b == 1 and c == 2)
local tab = {}
local i = 1
i, tab[i] = i + 1, 20
assert(i == 2 and tab[1] == 20)
local p, q = 1
assert(p == 1 and q == nil)
local r1, r2 = (function() return 1, 2, 3 end)()
assert(r1 == 1 and r2 == 2)
-- Constant folding never changes results.
assert(2^53 + 1 - 2^53 == 0 and 1 // 0.0 == math.huge and 3 % -2 == -1 and -0.0 == 0.0)
assert(1 / -0.0 == -math.huge and math.tointeger(-0.0) == 0 and 0x7fffffffffffffff + 1 == mini)
local zero = 0
errs(function() return 1 // zero end, "attempt to divide by zero")

print("OK constructs")
