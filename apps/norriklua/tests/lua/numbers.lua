-- Integer and float arithmetic, conversions and the math library.

local maxi, mini = math.maxinteger, math.mininteger
assert(maxi + 1 == mini and mini - 1 == maxi)          -- integers wrap around
assert(maxi * 2 == -2 and -mini == mini)
assert(7 // 2 == 3 and -7 // 2 == -4 and 7 // -2 == -4 and 7.0 // 2 == 3.0)
assert(7 % 3 == 1 and -7 % 3 == 2 and 7 % -3 == -2 and -7 % -3 == -1)
assert(5.5 % 2 == 1.5 and -5.5 % 2 == 0.5 and 5.3 % -2 < 0)
assert(math.type(1e300 % 7) == "float" and 1e300 % 7 == math.fmod(1e300, 7) % 7)
assert(3 / 2 == 1.5 and math.type(4 / 2) == "float")
assert(not pcall(function() return 1 // 0 end) and not pcall(function() return 1 % 0 end))
assert(1 // 0.0 == math.huge and -1 // 0.0 == -math.huge)
local nan = 0 / 0
assert(nan ~= nan and not (nan < nan) and not (nan >= 0))
assert(2^10 == 1024.0 and 2^0.5 == math.sqrt(2) and (-8)^(1/3) ~= (-8)^(1/3))
assert(10^-2 == 0.01 and 2^-1074 > 0 and 2^1024 == math.huge)
assert(3 & 5 == 1 and 3 | 5 == 7 and 3 ~ 5 == 6 and ~0 == -1)
assert(1 << 63 == mini and 1 << 64 == 0 and -1 >> 1 == maxi and 1 << -1 == 0 and 2 >> -1 == 4)
assert(2.0 | 1 == 3 and not pcall(function() return "3" | 0 end))
assert(not pcall(function() return 1.5 | 0 end))
assert(1 == 1.0 and math.type(1) ~= math.type(1.0) and 2^53 == 2^53 + 1)
assert(mini < -2^63 + 1e5 and maxi + 0.0 == 2^63 and maxi < 2^63 and mini <= -2^63)
assert(1 < 1.5 and 2 > 1.5 and -1 < -0.5 and maxi < math.huge and mini > -math.huge)

-- Conversions.
assert(math.tointeger(3.0) == 3 and math.tointeger(3.5) == nil and math.tointeger("x") == nil)
assert(math.tointeger(2^63) == nil and math.tointeger(-2^63) == mini)
assert(3 | 0 == 3 and math.type(3.0 // 1) == "float")
assert(math.floor(3.7) == 3 and math.floor(-3.7) == -4 and math.type(math.floor(3.7)) == "integer")
assert(math.ceil(3.2) == 4 and math.ceil(-3.2) == -3 and math.floor(2^70) == 2^70)
assert(string.format("%.0f", 2^63) == "9223372036854775808")
assert(tostring(2^63) == "9.2233720368548e+18" and tostring(maxi) == "9223372036854775807")
assert(math.abs(mini) == mini and math.abs(-3) == 3 and math.abs(-0.0) == 0.0)
assert(math.ult(1, -1) and not math.ult(-1, 1))
assert(math.max(1, 5, 3) == 5 and math.min(1.5, -2) == -2 and math.type(math.max(1, 2.0)) == "float")
assert(math.fmod(7, 3) == 1 and math.fmod(-7, 3) == -1 and math.type(math.fmod(7, 3)) == "integer")
assert(not pcall(math.fmod, 1, 0) and math.fmod(1, 0.0) ~= math.fmod(1, 0.0))
assert(math.fmod(mini, -1) == 0)

-- Numerals as C's strtod reads them, in the lexer, tonumber and string coercion: past 2^64
-- with digits after the point, very long, hexadecimal with more than 53 significant bits or
-- an exponent past 32 bits, and just above half the smallest subnormal.
assert(18446744073709551616.5 == 2^64 and tostring(18446744073709551616.5) == "1.844674407371e+19")
assert(tonumber("27636052498781557621.5") == 0x1.7f86fb5357ebdp+64 and "27636052498781557621.5" + 0 == 0x1.7f86fb5357ebdp+64)
assert(10000000000000000000000.0 == 1e22 and math.tointeger("27636052498781557621.0") == nil)
assert(tonumber(string.format("%.99f", -(10^308))) == -1e308)
assert(0x1.000000000000080001p0 == 1 + 2^-52 and string.format("%a", 0x1.000000000000080001p0) == "0x1.0000000000001p+0")
assert(0x1p4294967296 == math.huge and 0x1p2147483648 == math.huge and tonumber("0x1p-9999999999999999999") == 0.0)
assert(tonumber("2.4703282292062327209e-324") == 0x1p-1074)
assert(0x1.8714bB3DF3e298p-1023 == 0x0.c38a5d9ef9f15p-1022 and 0x1.0000000000000cp0 == 1 + 2^-52)

-- The math library to within a unit in the last place.
local function close(a, b) return a == b or math.abs(a - b) <= math.abs(b) * 2.3e-16 end
assert(close(math.sin(math.pi / 6), 0.49999999999999994) and math.sin(0) == 0)
assert(close(math.cos(math.pi / 3), 0.5000000000000001) and math.cos(0) == 1)
assert(close(math.tan(math.pi / 4), 0.9999999999999999))
assert(close(math.asin(1), math.pi / 2) and close(math.acos(-1), math.pi) and close(math.atan(1), math.pi / 4))
assert(close(math.atan(1, -1), 3 * math.pi / 4) and math.atan(0, -1) == math.pi and math.atan(-0.0, 1) == 0)
assert(close(math.exp(1), 2.718281828459045) and math.exp(0) == 1 and math.exp(-1000) == 0)
assert(close(math.log(10), 2.302585092994046) and math.log(1) == 0 and math.log(0) == -math.huge)
assert(math.log(8, 2) == 3 and math.log(1000, 10) == 3)
assert(close(math.log(2^0.5 * 10, 10), 1.1505149978319906))
assert(math.sqrt(16) == 4 and math.sqrt(2) == 1.4142135623730951 and math.sqrt(-1) ~= math.sqrt(-1))
assert(math.sin(1e6) == -0.34999350217129294 and math.cos(1e6) == 0.9367521275331447)
assert(2^0.5 == 1.4142135623730951 and 10^0.5 == 3.1622776601683795 and 1.5^2.5 == 2.7556759606310752)
assert(math.pi == 3.141592653589793 and math.huge > 1e308)

-- Pseudo-random numbers.
math.randomseed(42)
local first = math.random(1, 100)
math.randomseed(42)
assert(math.random(1, 100) == first)
for _ = 1, 1000 do
  local r = math.random()
  assert(r >= 0 and r < 1)
  local i = math.random(-3, 3)
  assert(i >= -3 and i <= 3 and math.type(i) == "integer")
end
assert(math.random(mini, maxi) and not pcall(math.random, 2, 1))
