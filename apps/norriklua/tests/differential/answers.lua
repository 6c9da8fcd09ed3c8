-- Answers to generated questions, written to answers.out: numerals read by tonumber, the
-- lexer, string coercion, math.tointeger and io.read("n"); string.format conversions;
-- sequences of io calls on files; dates; mathematics. run_differential_test runs this
-- script through NorrikLua and through Debian's lua5.4 with the same SEED and compares the
-- two files (compare.lua: every answer exactly, but "math" results within an ulp).
-- Floats are written as bit patterns, so that the comparison does not lean on the
-- formatter it also checks, and every generated value is built by exact operations, so
-- that both interpreters ask the same questions.

local R = math.random
math.randomseed(SEED or 1)
local out = assert(io.open("answers.out", "w"))

local function show(v)
  local kind = math.type(v)
  if kind == "float" and v ~= v then return "nan" end  -- C leaves the sign of a NaN open
  if kind == "float" then return ("f%016x"):format(string.unpack("<i8", string.pack("<d", v))) end
  if kind == "integer" then return "i" .. v end
  if type(v) == "string" then return (("%q"):format(v):gsub("\\\n", "\\n")) end
  return tostring(v)
end
local function emit(tag, ...)
  local parts = table.pack(...)
  for i = 1, parts.n do parts[i] = show(parts[i]) end
  out:write(tag, ": ", table.concat(parts, " ", 1, parts.n), "\n")
end
local function pick(list) return list[R(#list)] end
local function text(length, alphabet)
  local t = {}
  for i = 1, length do
    local k = R(#alphabet)
    t[i] = alphabet:sub(k, k)
  end
  return table.concat(t)
end
local function float_of_bits(bits) return (string.unpack("<d", string.pack("<i8", bits))) end

-- Exact decimal digits of big integers, in limbs of seven digits, least significant first.
local LIMB = 10000000
local function big(n)
  local t = {}
  repeat t[#t + 1] = n % LIMB; n = n // LIMB until n == 0
  return t
end
local function multiply(t, m)
  local carry = 0
  for i = 1, #t do
    local x = t[i] * m + carry
    t[i], carry = x % LIMB, x // LIMB
  end
  while carry > 0 do t[#t + 1], carry = carry % LIMB, carry // LIMB end
end
local function times_power(t, base, step, n)  -- t * base^n, in steps of base^step
  local factor = 1
  for _ = 1, step do factor = factor * base end
  while n >= step do multiply(t, factor); n = n - step end
  for _ = 1, n do multiply(t, base) end
  return t
end
local function decimal(t)
  local parts = {tostring(t[#t])}
  for i = #t - 1, 1, -1 do parts[#parts + 1] = ("%07d"):format(t[i]) end
  return table.concat(parts)
end

---------------------------------------------------------------------------------------------
-- Numerals.

-- The exact decimal value halfway between a double and the next one up, and the numerals
-- just above and just below it. Biased exponent 0 gives subnormals (mantissa 0: half the
-- smallest one).
local function halfway_numerals()
  local field = pick({0, 0, R(1, 60), R(1, 2046), R(1000, 1100), R(2000, 2046)})
  local mantissa = R(0, 9) < 3 and R(0, 3) or R(0, (1 << 52) - 1)
  local m, e = mantissa, -1074
  if field > 0 then m, e = mantissa | (1 << 52), field - 1075 end
  local digits = big(2 * m + 1)
  if e - 1 >= 0 then
    local whole = decimal(times_power(digits, 2, 20, e - 1))
    return {whole, whole .. ".0000001", whole .. ".5e0"}
  end
  local places = 1 - e  -- (2m + 1) * 5^places / 10^places
  local d = decimal(times_power(digits, 5, 9, places))
  if #d <= places then d = ("0"):rep(places - #d + 1) .. d end
  local point = #d - places
  local tie = d:sub(1, point) .. "." .. d:sub(point + 1)
  local below = tie:sub(1, -2) .. "49999999"  -- every tie ends in 5
  local scaled = "0." .. d:gsub("^0+", "") .. "e" .. (point - (#d - #d:gsub("^0+", "")))
  return {tie, tie .. "000000001", below, scaled}
end

local HUGE_EXPONENTS = {"2147483647", "2147483648", "4294967295", "4294967296", "4294967297",
  "9999999999999999999", "18446744073709551616", "99999999999999999999999", "1100", "1074", "1075",
  "1022", "1023", "1024"}

local function decimal_numeral()
  local k = R(8)
  if k == 1 then  -- 2^64 and beyond, with digits after the point
    return text(R(19, 30), "123456789") .. "." .. text(R(1, 3), "0123456789")
  elseif k == 2 then  -- long numerals, as %.99f writes them
    return text(R(1, 309), "0123456789") .. "." .. text(R(50, 120), "0123456789")
  elseif k == 3 then  -- integral values written as floats
    return text(R(1, 25), "0123456789") .. pick({".0", ".", "e0", ".0e1", "e-1"})
  elseif k == 4 then
    return "." .. text(R(1, 30), "0123456789") .. "e" .. pick({"-", "+", ""}) .. R(0, 400)
  elseif k == 5 then
    return ("0"):rep(R(0, 40)) .. text(R(1, 20), "0123456789") .. "e" .. pick({"-", ""}) .. pick(HUGE_EXPONENTS)
  else
    return pick(halfway_numerals())
  end
end

local HEX = "0123456789abcdefABCDEF"
local function hex_numeral()
  local k = R(5)
  local body
  if k == 1 then  -- more than 53 significant bits: ties and just past them
    body = "1." .. text(13, HEX) .. pick({"8", "80000000001", "7fffffffff", "8000000000", "c", "4"})
  elseif k == 2 then
    body = text(R(14, 30), HEX)
  elseif k == 3 then
    body = text(R(0, 20), HEX) .. "." .. text(R(1, 20), HEX)
  else
    body = text(R(1, 16), HEX) .. pick({"", "."}) .. text(R(0, 4), HEX)
  end
  local exponent = ""
  local e = R(4)
  if e == 1 then
    exponent = "p" .. pick({"", "+", "-"}) .. pick(HUGE_EXPONENTS)
  elseif e == 2 then
    exponent = "P" .. pick({"", "+", "-"}) .. R(0, 1100)
  end
  return "0x" .. body .. exponent
end

local JUNK = {"0x", "1e", "1e+", ".", "-.", "0x.p1", "--1", "+-1", "inf", "nan", "1..2", "0x1p",
  ".e1", "1e1.5", "0x.8", "5.", ".5", "0X1P-2", "00012", "1E+3", "-0", "-0.0", "+.5e-3"}

-- glibc rounds a hexadecimal numeral that lands among the subnormals with bits to spare as
-- if they made a tie (0x1.8714bb3df3e298p-1023 is 0x0.c38a5d9ef9f15p-1022, not ...f14), so
-- such numerals are asked only of NorrikLua, in numbers.lua.
local function rounds_as_hex_subnormal(s)
  local v = tonumber(s)
  return s:find("[xX]") and v and v ~= 0 and math.abs(v) < 0x1p-1020
end

local function numeral()
  local k = R(20)
  local s = k <= 10 and decimal_numeral() or k <= 18 and hex_numeral() or pick(JUNK)
  if R(4) == 1 then s = "-" .. s end
  if rounds_as_hex_subnormal(s) then return numeral() end
  return s
end

local function ask_numeral(s)
  local chunk = load("return " .. s)
  local ok, lexed = pcall(chunk or error)
  local coerced_ok, coerced = pcall(function() return s + 0 end)
  emit("numeral", s, tonumber(s), ok and lexed or "no", math.tointeger(s),
       coerced_ok and coerced or "no", tonumber(s .. " "), tonumber(" \t" .. s .. "\n"))
end

for _ = 1, 1500 do ask_numeral(numeral()) end

-- io.read("n"): numerals (and junk) separated by spaces in a file, read one after another;
-- after a failed read, the next three bytes show what the reader consumed.
do
  local tokens = {}
  for i = 1, 400 do
    local s = numeral()
    if #s > 190 then s = s:sub(1, R(180, 210)) end
    tokens[i] = s
  end
  local f = assert(io.open("numerals.txt", "w"))
  for i, s in ipairs(tokens) do f:write(s, pick({" ", "\n", "\t", "  "})) end
  f:close()
  f = assert(io.open("numerals.txt", "r"))
  for _ = 1, 600 do
    local v = f:read("n")
    if v then
      emit("read n", v)
    else
      local skipped = f:read(3)
      emit("read n fails", skipped)
      if not skipped then break end
    end
  end
  f:close()
  os.remove("numerals.txt")
end

---------------------------------------------------------------------------------------------
-- string.format.

local CONVERSIONS = {
  {"d", "-+0 ", "integer"}, {"i", "-+0 ", "integer"}, {"u", "-0", "integer"},
  {"o", "-#0", "integer"}, {"x", "-#0", "integer"}, {"X", "-#0", "integer"},
  {"c", "-", "char", true}, {"s", "-", "string"},
  {"e", "-+#0 ", "float"}, {"E", "-+#0 ", "float"}, {"f", "-+#0 ", "float"},
  {"g", "-+#0 ", "float"}, {"G", "-+#0 ", "float"}, {"a", "-+#0 ", "float"}, {"A", "-+#0 ", "float"},
}

local POWERS = {1.0}
for i = 2, 23 do POWERS[i] = POWERS[i - 1] * 10 end  -- exact up to 1e22

local function random_float()
  local k = R(10)
  if k <= 3 then  -- any bit pattern but NaN, whose sign C leaves open
    local v = float_of_bits(R(math.mininteger, math.maxinteger))
    return v == v and v or 1.5
  elseif k == 4 then
    return pick({0.0, -0.0, 1 / 0, -1 / 0, float_of_bits(1), float_of_bits(0x000fffffffffffff),
      float_of_bits(0x0010000000000000), float_of_bits(0x7fefffffffffffff), 2 ^ 63, -(2 ^ 63),
      0.5, 2.5, 0.125, 0.375, 1e308, -1e308, 1e15 + 0.3, 9007199254740993, 0.1, 1 / 3})
  elseif k <= 6 then  -- short decimals: exact integers over exact powers of ten
    return R(-10000000, 10000000) / POWERS[R(1, 23)]
  elseif k == 7 then  -- ties of %.Nf and %.Ne
    return R(-100000, 100000) / pick({2, 4, 8, 16, 1024})
  elseif k == 8 then  -- large integers
    return R(-(1 << 53), 1 << 53) * POWERS[R(1, 23)]
  else  -- every magnitude, subnormals included
    local field = pick({0, R(0, 2046), R(1000, 1100), R(900, 1200)})
    return float_of_bits((R(0, 1) << 63) | (field << 52) | R(0, (1 << 52) - 1))
  end
end

local function random_integer()
  local k = R(4)
  if k == 1 then return R(math.mininteger, math.maxinteger) end
  if k == 2 then return pick({0, 1, -1, math.maxinteger, math.mininteger, 255, 256, 0x7fffffff, -0x80000000}) end
  return R(-100000, 100000)
end

local function directive(conversion)
  local name, allowed = conversion[1], conversion[2]
  local flags = {}
  for i = 1, #allowed do
    if R(4) == 1 then flags[#flags + 1] = allowed:sub(i, i) end
  end
  for i = #flags, 2, -1 do  -- any order
    local j = R(i)
    flags[i], flags[j] = flags[j], flags[i]
  end
  local width = R(3) == 1 and "" or tostring(pick({R(1, 9), R(1, 99), R(10, 40)}))
  local precision = ""
  if not conversion[4] and R(3) > 1 then precision = "." .. pick({"", R(0, 9), R(0, 99), R(10, 30)}) end
  return "%" .. table.concat(flags) .. width .. precision .. name
end

local function is_subnormal(v)
  return v ~= 0 and math.abs(v) < float_of_bits(0x0010000000000000)
end

for _ = 1, 2500 do
  local conversion = pick(CONVERSIONS)
  local format = directive(conversion)
  local kind, value = conversion[3]
  if kind == "integer" then value = random_integer()
  elseif kind == "char" then value = R(0, 255)
  elseif kind == "string" then value = text(R(0, 30), "abc xyz:;-_0123456789\t\\\"")
  else
    value = random_float()
    -- The leading digit of %a for a subnormal is left open by C (glibc writes 0x0.0...p-1022,
    -- others 0x1...p-1074): both read back as the same number, which is what is asked.
    if (conversion[1] == "a" or conversion[1] == "A") and is_subnormal(value) then
      emit("subnormal %a reads back", value, tonumber(string.format("%a", value)) == value)
      goto continue
    end
  end
  do
    local ok, result = pcall(string.format, "<" .. format .. ">", value)
    emit("format", format, value, ok and result or "error: " .. result)
  end
  ::continue::
end

-- tostring, %q, and %.17g round trips of the same values.
for _ = 1, 800 do
  local v = random_float()
  local q = is_subnormal(v) and "subnormal" or string.format("%q", v)
  emit("tostring", v, tostring(v), q, tonumber(string.format("%.17g", v)) == v, v // 1, math.tointeger(v))
end

---------------------------------------------------------------------------------------------
-- io: a file opened in each mode, then a sequence of reads, writes, seeks, setvbuf and
-- flushes. C wants a positioning call between writing and reading on one stream, so the
-- sequence makes one (seek "cur") where the direction changes. What another handle sees is
-- asked only where C says: after a flush or close, or at once on an unbuffered stream.

local MODES = {"r", "w", "a", "r+", "w+", "a+", "rb", "wb", "ab", "r+b", "w+b", "a+b"}
local CONTENT = "0123456789 abc\nxyz\n-12 3.5e1 0x1f\n"

local function whole(name)
  local g = io.open(name, "rb")
  if not g then return "(missing)" end
  local s = g:read("a")
  g:close()
  return s
end

local function results(...)
  local t = table.pack(...)
  for i = 1, t.n do
    if type(t[i]) == "string" and i > 1 and t[i - 1] == nil then t[i] = "message" end  -- strerror texts may differ
    if io.type(t[i]) then t[i] = "file" end
  end
  return table.unpack(t, 1, t.n)
end

for sequence = 1, 250 do
  local name = "io_" .. sequence % 4 .. ".txt"
  os.remove(name)
  if R(5) > 1 then
    local g = assert(io.open(name, "wb"))
    g:write(text(R(0, 40), CONTENT))
    g:close()
  end
  local mode = pick(MODES)
  local f = io.open(name, mode)
  emit("open", sequence, mode, f ~= nil)
  if f then
    local direction, unbuffered = nil, false
    local function turn(to)
      if direction and direction ~= to then emit("turn", f:seek("cur")) end
      direction = to
    end
    if R(4) == 1 then
      local vmode = pick({"no", "full", "line"})
      emit("setvbuf", vmode, results(f:setvbuf(vmode, pick({nil, 1, 16, 4096}))))
      unbuffered = vmode == "no"
    end
    for _ = 1, R(1, 14) do
      local k = R(12)
      if k <= 4 then
        turn("read")
        local format = pick({"l", "L", "n", "a", 0, 1, 2, R(3, 20), "n"})
        emit("read", format, results(f:read(format)))
      elseif k <= 7 then
        turn("write")
        local written = pick({text(R(0, 12), CONTENT), R(-1000, 1000), R(-100, 100) / 8})
        emit("write", written, results(f:write(written)))
        if unbuffered then emit("seen at once", whole(name)) end
      elseif k <= 10 then
        local whence = pick({"set", "cur", "end"})
        local offset = pick({0, R(-15, 50), R(-3, 3), -1})
        emit("seek", whence, offset, results(f:seek(whence, offset)))
        direction = nil
      elseif k == 11 then
        emit("flush", results(f:flush()))
        if direction == "write" or unbuffered then emit("seen after flush", whole(name)) end
      else
        emit("position", f:seek("cur"))
        direction = nil
      end
    end
    emit("close", results(f:close()))
  end
  emit("stored", whole(name))
end
for i = 0, 3 do os.remove("io_" .. i .. ".txt") end

---------------------------------------------------------------------------------------------
-- Dates, in UTC. C leaves %C, %y and %g open before the year 1000 and the year 1 (glibc
-- writes the century of 903 as "9", newlib as "09"), so every conversion is asked of the
-- years 1000 to 9999, and the date, the time and the fields of any year from -9999 to
-- 99999, with %F against %Y-%m-%d.

local DATE_CONVERSIONS = {"a", "A", "b", "B", "c", "C", "d", "D", "e", "F", "g", "G", "h", "H",
  "I", "j", "m", "M", "n", "p", "r", "R", "S", "t", "T", "u", "U", "V", "w", "W", "x", "X", "y",
  "Y", "%", "Ec", "EC", "Ex", "EX", "Ey", "EY", "Od", "Oe", "OH", "OI", "Om", "OM", "OS", "Ou",
  "OU", "OV", "Ow", "OW", "Oy"}
local YEAR_1000, YEAR_10000 = -30610224000, 253402300800
local SECONDS_PER_YEAR = 31556952  -- Gregorian average

for _ = 1, 500 do
  local t = R(YEAR_1000, YEAR_10000 - 1)
  local parts = {}
  for i = 1, R(1, 4) do parts[i] = "%" .. pick(DATE_CONVERSIONS) end
  local format = "!" .. table.concat(parts, pick({"", " ", "|"}))
  emit("date", t, format, os.date(format, t))
end
for _ = 1, 300 do
  local t = pick({R(-(1 << 31), 1 << 31), R(-62135596800 - 86400 * 800, -62135596800 + 86400 * 800),
    R(-10000, 99999) * SECONDS_PER_YEAR + R(-86400 * 10, 86400 * 10), R(-10000, 10000) * 86400})
  emit("any year", t, os.date("!%Y-%m-%d %H:%M:%S %j %a %b|%c", t), os.date("!%F", t) == os.date("!%Y-%m-%d", t))
  local fields = os.date("!*t", t)
  emit("fields", fields.year, fields.month, fields.day, fields.hour, fields.min, fields.sec,
       fields.wday, fields.yday)
end
for _ = 1, 200 do
  local fields = {year = R(1, 3000), month = R(-30, 30), day = R(-400, 400), hour = R(-50, 50),
    min = R(-100, 100), sec = R(-5000, 5000)}
  local t = os.time(fields)
  emit("time", t, fields.year, fields.month, fields.day, fields.hour, fields.min, fields.sec,
       fields.wday, fields.yday)
end

---------------------------------------------------------------------------------------------
-- Mathematics: the functions that round exactly, the others within an ulp (compare.lua).

local function binade(low, high)  -- a float of either sign with its exponent in [low, high]
  return float_of_bits((R(0, 1) << 63) | ((R(low, high) + 1023) << 52) | R(0, (1 << 52) - 1))
end
local function positive(low, high) return math.abs(binade(low, high)) end
local UNARY = {
  {"exp", math.exp, function() return pick({R(-745000, 710000) / 1000, binade(-60, 9)}) end},
  {"log", math.log, function() return pick({positive(-1022, 1023), float_of_bits(R(1, 1 << 52))}) end},
  {"log2", function(x) return math.log(x, 2) end, function() return positive(-1022, 1023) end},
  {"log10", function(x) return math.log(x, 10) end, function() return positive(-1022, 1023) end},
  {"sin", math.sin, function() return binade(-30, 1023) end},
  {"cos", math.cos, function() return binade(-30, 1023) end},
  {"tan", math.tan, function() return binade(-30, 1023) end},
  {"asin", math.asin, function() return binade(-60, -1) end},
  {"acos", math.acos, function() return binade(-60, -1) end},
  {"atan", math.atan, function() return binade(-60, 80) end},
  {"sinh", math.sinh, function() return pick({R(-710000, 710000) / 1000, binade(-40, 5)}) end},
  {"cosh", math.cosh, function() return pick({R(-710000, 710000) / 1000, binade(-40, 5)}) end},
  {"tanh", math.tanh, function() return pick({R(-30000, 30000) / 1000, binade(-40, 4)}) end},
}
local EXACT = {
  {"sqrt", math.sqrt, function() return positive(-1074, 1023) end},
  {"floor", math.floor, function() return binade(-10, 70) end},
  {"ceil", math.ceil, function() return binade(-10, 70) end},
  {"frexp", math.frexp, function() return binade(-1074, 1023) end},
}
for _ = 1, 100 do
  for _, f in ipairs(UNARY) do
    local x = f[3]()
    emit("math", f[1], x, f[2](x))
  end
  for _, f in ipairs(EXACT) do
    local x = f[3]()
    emit("exactly", f[1], x, f[2](x))
  end
  local x, y = positive(-20, 20), R(-300000, 300000) / 1000
  if R(4) == 1 then x, y = -x, y // 1 end
  emit("math", "pow", x, y, x ^ y)
  local a, b = binade(-40, 40), binade(-40, 40)
  emit("math", "atan2", a, b, math.atan(a, b))
  emit("exactly", "fmod", a, b, math.fmod(a, b), a % b, math.ldexp(a, R(-1100, 1100)))
end

out:close()
