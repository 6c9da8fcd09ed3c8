-- Integer and float semantics: wrap-around, conversions, division and modulo at the edges,
-- string coercions, formatting of extreme values and the accuracy of the math library.

local maxi, mini = math.maxinteger, math.mininteger
local function eqT(a, b) return a == b and math.type(a) == math.type(b) end
local function errs(f, what)
  local ok, err = pcall(f)
  assert(not ok and err:find(what, 1, true), err)
end

-- Integers wrap around on every operation.
assert(eqT(maxi + 1, mini) and eqT(mini - 1, maxi) and eqT(-mini, mini))
assert(eqT(maxi * maxi, 1) and eqT(mini * -1, mini) and eqT(maxi * 3, maxi - 2))
assert(eqT(mini // -1, mini) and eqT(mini % -1, 0))
assert(maxi == 0x7fffffffffffffff and mini == 0x8000000000000000)
assert(eqT(1 << 62 << 1, mini) and eqT(maxi + 1.0, 2.0^63))

-- Floor division and modulo, for every sign, with integers and floats.
for _, c in ipairs({
  {7, 3, 2, 1}, {-7, 3, -3, 2}, {7, -3, -3, -2}, {-7, -3, 2, -1},
  {6, 3, 2, 0}, {-6, 3, -2, 0}, {0, 5, 0, 0}, {mini, 1, mini, 0}, {maxi, maxi, 1, 0},
}) do
  local a, b, q, r = c[1], c[2], c[3], c[4]
  assert(eqT(a // b, q) and eqT(a % b, r), a .. " " .. b)
  assert(eqT(a // (b + 0.0), q + 0.0) and a % (b + 0.0) == r)
  assert(a == (a // b) * b + a % b)
end
assert(eqT(7.5 // 2, 3.0) and eqT(-7.5 // 2, -4.0) and eqT(7.5 % 2, 1.5) and eqT(-7.5 % 2, 0.5))
assert(eqT(7.5 % -2, -0.5) and eqT(5.3 % math.huge, 5.3) and eqT(-5.3 % math.huge, math.huge))
assert(eqT(5.3 % -math.huge, -math.huge) and eqT(-5.3 % -math.huge, -5.3))
errs(function() return 1 // 0 end, "attempt to divide by zero")
errs(function() return 1 % 0 end, "attempt to perform 'n%0'")
errs(function() return mini % 0 end, "attempt to perform 'n%0'")
assert(1 // 0.0 == math.huge and -1 // 0.0 == -math.huge and 0 // 0.0 ~= 0 // 0.0)
local r = 1 % 0.0
assert(r ~= r and eqT(1 / 0, math.huge) and eqT(-1 / 0, -math.huge))
assert(eqT(3 / 1, 3.0) and eqT(0.0 / -1, -0.0) and 1 / (0.0 / -1) == -math.huge)
assert(eqT(2^2, 4.0) and eqT(2^-1, 0.5) and eqT((-2)^2, 4.0) and eqT(-2^2, -4.0))
assert(2^63 == maxi + 1.0 and 2^53 + 1 == 2^53)

-- Bitwise operators on 64 bits: shifts are logical, shift counts of 64 or more give 0 and
-- negative counts shift the other way; floats with integral values convert.
assert(eqT(1 << 63, mini) and eqT(1 << 64, 0) and eqT(-1 >> 63, 1) and eqT(-1 >> 64, 0) and eqT(mini >> 63, 1))
assert(eqT(1 << -1, 0) and eqT(4 >> -2, 16) and eqT(1 << maxi, 0) and eqT(1 >> mini, 0) and eqT(-1 << mini, 0))
assert(eqT(~0, -1) and eqT(~mini, maxi) and eqT(0xF0 ~ 0xFF, 0x0F) and eqT(-1 & 0xFF, 255) and eqT(5 | -8, -3))
assert(eqT(2.0 << 1.0, 4) and eqT(0x7fffffffffffffff >> 62, 1) and eqT((1 << 62) * 4, 0))
assert(eqT("0x10" + 0 | 1, 17) and eqT(math.ult(-1 >> 1, 1 << 63) and 1 or 0, 1))

-- Comparisons between integers and floats are exact, even where conversion would round.
assert(maxi < 2^63 and maxi + 0.0 == 2^63 and maxi ~= 2^63 and mini == -2^63)
assert((1 << 53) + 1 ~= 2^53 + 1.0 and (1 << 53) + 1 > 2^53 and (1 << 53) + 1 ~= 2^53)
assert(maxi > 9.2233720368547e18 and mini < -9.2233720368547e18)
assert(not (1 < 0 / 0) and not (1 > 0 / 0) and not (maxi >= 0 / 0) and 0 / 0 ~= 0 / 0)
assert(1 < math.huge and mini > -math.huge and 3 == 3.0 and -0.0 == 0)
local t = {}
t[1.0] = "a"; t[2^53] = "b"; t[-0.0] = "z"
assert(t[1] == "a" and math.type(next(t, nil)) == "integer" and t[1 << 53] == "b" and t[0] == "z")
errs(function() t[0 / 0] = 1 end, "table index is NaN")

-- Conversions between the subtypes.
assert(eqT(math.tointeger(3.0), 3) and math.tointeger(3.5) == nil and math.tointeger(2^63) == nil)
assert(eqT(math.tointeger(-2^63), mini) and math.tointeger(0 / 0) == nil)
assert(math.tointeger(math.huge) == nil and math.tointeger({}) == nil and eqT(math.tointeger(8), 8))
assert(eqT(3.0 | 0, 3) and eqT(2^53 | 0, 1 << 53) and eqT(-0.0 | 0, 0))
errs(function() return 2^63 | 0 end, "number has no integer representation")
errs(function() return 1.5 & 1 end, "number has no integer representation")
errs(function() return math.huge // 1 | 0 end, "number has no integer representation")
assert(eqT(math.floor(-3.5), -4) and eqT(math.ceil(-3.5), -3) and eqT(math.floor(5), 5))
assert(eqT(math.floor(2^62), 1 << 62) and eqT(math.floor(2^70), 2^70) and eqT(math.ceil(-2^63), mini))
assert(eqT(math.fmod(-6, 4), -2) and eqT(math.fmod(6, -4), 2) and eqT(math.fmod(mini, -1), 0))
assert(eqT(math.fmod(6.5, 4), 2.5) and eqT(math.fmod(-6.0, 4), -2.0))
errs(function() return math.fmod(1, 0) end, "bad argument #2 to 'fmod' (zero)")
assert(eqT(math.abs(mini), mini) and eqT(math.abs(-0.0), 0.0) and eqT(math.abs(-2), 2))
assert(math.ult(maxi, mini) and not math.ult(mini, maxi) and math.ult(0, -1))
assert(eqT(math.max(3, 3.0), 3) and eqT(math.min(2.0, 2), 2.0) and eqT(math.max(mini, maxi), maxi))
errs(function() return math.max() end, "bad argument #1 to 'max' (value expected)")
local ip, fp = math.modf(-3.75)
assert(ip == -3 and eqT(fp, -0.75))
ip, fp = math.modf(math.huge)
assert(ip == math.huge and fp == 0.0)
ip, fp = math.modf(5)
assert(ip == 5 and eqT(fp, 0.0))

-- Strings and numbers coerce in arithmetic, keeping the string's subtype.
assert(eqT("10" + 1, 11) and eqT("10" + 1.0, 11.0) and eqT("0x10" * 1, 16) and eqT("1e1" + 0, 10.0))
assert(eqT(" 7 " - 0, 7) and eqT("-3" // 2, -2) and eqT("2" ^ "3", 8.0) and eqT(-"2", -2))
errs(function() return "3" | 0 end, "attempt to perform bitwise operation on a string value")
assert(eqT(10 .. "", "10") and 1.5 .. "" == "1.5" and -0.0 .. "" == "-0.0" and 2^63 .. "" == "9.2233720368548e+18")
errs(function() return "abc" + 1 end, "attempt to add a 'string' with a 'number'")
errs(function() return {} .. "" end, "attempt to concatenate a table value")
errs(function() return "1" < 2 end, "attempt to compare string with number")
assert(tonumber("0x1p4") == 16.0 and tonumber("  0x10  ") == 16 and tonumber("1e") == nil)
assert(tonumber("") == nil and tonumber(" ") == nil and tonumber("1 2") == nil and tonumber("0x") == nil)
assert(eqT(tonumber("9223372036854775807"), maxi) and eqT(tonumber("9223372036854775808"), 2^63))
assert(eqT(tonumber("-9223372036854775808"), mini) and eqT(tonumber("0xffffffffffffffff"), -1))
assert(tonumber("inf") == nil and tonumber("nan") == nil and tonumber("1e500") == math.huge)
assert(tonumber(".5") == 0.5 and tonumber("5.") == 5.0 and tonumber("-.5e1") == -5.0 and tonumber(".") == nil)
assert(tonumber("10", 2) == 2 and tonumber("ff", 16) == 255 and tonumber("FF", 16) == 255)
assert(tonumber("zz", 36) == 1295 and tonumber("8", 8) == nil and tonumber(" -11 ", 2) == -3)
assert(tonumber("1.0", 10) == nil and tonumber("7fffffffffffffff", 16) == maxi)
errs(function() return tonumber("1", 1) end, "base out of range")
errs(function() return tonumber(1, 10) end, "string expected, got number")
assert(select("#", tonumber({})) == 1 and tonumber({}) == nil)
assert(eqT(string.format("%d", 3.0), "3"))
errs(function() return string.format("%d", 3.5) end, "number has no integer representation")

-- Printing of extreme values: %.14g by default, shortest forms elsewhere.
assert(tostring(1e15) == "1e+15" and tostring(123456789012345.0) == "1.2345678901234e+14")
assert(tostring(1e100) == "1e+100" and tostring(-1e-100) == "-1e-100" and tostring(2^-1074) == "4.9406564584125e-324")
assert(tostring(1 / 0) == "inf" and tostring(-1 / 0) == "-inf" and tostring(0 / 0):find("^%-?nan$"))
assert(tostring(1.0) == "1.0" and tostring(-0.0) == "-0.0" and tostring(1e14) == "1e+14" and tostring(3.25) == "3.25")
assert(tostring(mini) == "-9223372036854775808" and tostring(0.1) == "0.1" and tostring(1/3) == "0.33333333333333")
assert(string.format("%.17g", 0.1) == "0.10000000000000001" and string.format("%.3f", 2 / 3) == "0.667")
assert(string.format("%5.1f|%-6g|%+d", 1 / 0, -1 / 0, 5) == "  inf|-inf  |+5")
assert(string.format("%e", 0) == "0.000000e+00" and string.format("%.0e", 12345) == "1e+04")
assert(string.format("%g", 1e-5) == "1e-05" and string.format("%g", 123456789) == "1.23457e+08")
assert(string.format("%.99f", 1.5):sub(1, 5) == "1.500" and #string.format("%.99f", 1.5) == 101)
assert(string.format("%.0f", 0.5) == "0" and string.format("%.0f", 1.5) == "2" and string.format("%.0f", 2.5) == "2")
assert(string.format("%.20f", 2^-1074):sub(1, 8) == "0.000000" and string.format("%g", 2^-1074) == "4.94066e-324")
assert(string.format("%.0f", 1e308):sub(1, 10) == "1000000000" and #string.format("%.0f", 1e308) == 309)
assert(string.format("%a", 1.0) == "0x1p+0" and string.format("%a", 0.5) == "0x1p-1" and string.format("%a", -0.0) == "-0x0p+0")
assert(string.format("%.3a", 1 / 3) == "0x1.555p-2" and tonumber(string.format("%a", 0.1)) == 0.1)
assert(string.format("%q", 1 / 0) == "1e9999" and string.format("%q", -1 / 0) == "-1e9999")
assert(string.format("%q", 0 / 0) == "(0/0)" and string.format("%q", mini) == "0x8000000000000000")
assert(load("return " .. string.format("%q", 0.1))() == 0.1 and string.format("%q", 2^63) == "0x1p+63")

-- The math library within one unit in the last place of the correctly rounded result.
local function ulp(x)
  x = math.abs(x)
  local e = 1.0
  while e * 2 <= x do e = e * 2 end
  while e > x do e = e / 2 end
  return e * 2^-52
end
local function near(got, want, what)
  assert(math.abs(got - want) <= ulp(want), string.format("%s: %.17g, want %.17g", what, got, want))
end
near(math.sin(1), 0.8414709848078965, "sin 1")
near(math.sin(0.5), 0.479425538604203, "sin 0.5")
near(math.sin(3.0), 0.1411200080598672, "sin 3")
near(math.sin(100), -0.5063656411097588, "sin 100")
near(math.cos(1), 0.5403023058681398, "cos 1")
near(math.cos(2.5), -0.8011436155469337, "cos 2.5")
near(math.cos(100), 0.8623188722876839, "cos 100")
near(math.tan(1), 1.5574077246549023, "tan 1")
near(math.exp(1), 2.718281828459045, "exp 1")
near(math.exp(10), 22026.465794806718, "exp 10")
near(math.exp(-5.5), 0.004086771438464067, "exp -5.5")
near(math.exp(709), 8.218407461554972e+307, "exp 709")
near(math.log(2), 0.6931471805599453, "log 2")
near(math.log(10), 2.302585092994046, "log 10")
near(math.log(1e-300), -690.7755278982137, "log 1e-300")
near(math.log(3, 2), 1.584962500721156, "log2 3")
near(math.log(2, 10), 0.3010299956639812, "log10 2")
near(math.asin(0.3), 0.3046926540153975, "asin")
near(math.acos(0.3), 1.2661036727794992, "acos")
near(math.atan(0.3), 0.2914567944778671, "atan")
near(math.atan(-1, -2), -2.677945044588987, "atan2")
near(2^0.5, 1.4142135623730951, "2^0.5")
near(10^-3.5, 0.00031622776601683794, "10^-3.5")
near(1.0001^10000, 2.7181459268249255, "1.0001^10000")
near(3^40.5, 2.1057694276511797e+19, "3^40.5")
near(math.sin(1e22), -0.8522008497671888, "sin 1e22")   -- huge arguments need a full reduction
near(math.cos(1e22), 0.523214785395139, "cos 1e22")
near(math.tan(1e300), 1.4214488238747245, "tan 1e300")
assert(math.exp(710) == math.huge and math.exp(-746) == 0 and math.log(0) == -math.huge)
local nan = math.log(-1)
assert(nan ~= nan and math.sqrt(-1) ~= math.sqrt(-1) and math.sin(math.huge) ~= math.sin(math.huge))
assert(0^0 == 1 and (0 / 0)^0 == 1 and 1^(0 / 0) == 1 and 0^-1 == math.huge and (-8)^(1 / 3) ~= (-8)^(1 / 3))
assert(math.log(1024, 2) == 10 and math.log(1e15, 10) == 15 and math.log(81, 3) - 4 < 1e-15)
assert(math.sin(-0.0) == 0 and 1 / math.sin(-0.0) == -math.huge and math.pi - 3.141592653589793 == 0)

-- Random numbers: ranges, seeds and argument checks.
math.randomseed(1234)
local seq = {math.random(1 << 40), math.random(), math.random(-5, 5)}
math.randomseed(1234)
assert(math.random(1 << 40) == seq[1] and math.random() == seq[2] and math.random(-5, 5) == seq[3])
local seen = {}
for _ = 1, 2000 do
  local v = math.random(3)
  assert(eqT(v, math.tointeger(v)) and v >= 1 and v <= 3)
  seen[v] = true
  local f = math.random()
  assert(f >= 0 and f < 1 and math.type(f) == "float")
  assert(math.random(mini, maxi) | 0)
end
assert(seen[1] and seen[2] and seen[3] and math.type(math.random(0)) == "integer")
errs(function() return math.random(0, -1) end, "interval is empty")
errs(function() return math.random(1, 2, 3) end, "wrong number of arguments")
errs(function() return math.random(1.5) end, "number has no integer representation")

print("OK math")
