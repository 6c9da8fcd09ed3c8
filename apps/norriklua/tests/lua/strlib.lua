-- The string library outside patterns and format: sub, byte/char, rep, reverse, case, len,
-- comparison, the string metatable, tostring/tonumber round-trips, pack and unpack.

local function errs(f, what)
  local ok, err = pcall(f)
  assert(not ok and err:find(what, 1, true), err)
end

-- sub with every kind of index.
local s = "hello world"
assert(s:sub(1, 5) == "hello" and s:sub(-5) == "world" and s:sub(7) == "world")
assert(s:sub(0) == s and s:sub(-100, 3) == "hel" and s:sub(5, 4) == "" and s:sub(12) == "")
assert(s:sub(-3, -2) == "rl" and s:sub(2, 100) == "ello world" and s:sub(math.mininteger, 2) == "he")
assert(s:sub(math.maxinteger) == "" and s:sub(3, math.maxinteger) == "llo world" and s:sub(-1, 1) == "")
assert(("\0a\0"):sub(2, 2) == "a" and #("\0a\0") == 3)
errs(function() return s:sub() end, "bad argument #1 to 'sub' (number expected, got no value)")
errs(function() return s:sub(1.5) end, "number has no integer representation")

-- byte and char.
assert(s:byte() == 104 and s:byte(-1) == 100 and select("#", s:byte(1, -1)) == 11)
assert(select("#", s:byte(100)) == 0 and select("#", s:byte(3, 2)) == 0)
local b1, b2, b3 = ("ABC"):byte(1, 3)
assert(b1 == 65 and b2 == 66 and b3 == 67)
assert(string.char() == "" and string.char(0, 255, 65) == "\0\255A")
errs(function() return string.char(256) end, "value out of range")
errs(function() return string.char(-1) end, "value out of range")
local all = {}
for i = 0, 255 do all[#all + 1] = string.char(i) end
all = table.concat(all)
assert(#all == 256 and string.char(all:byte(1, -1)) == all)

-- rep, with separators and at the limits.
assert(("ab"):rep(3) == "ababab" and ("ab"):rep(3, ",") == "ab,ab,ab" and ("x"):rep(0) == "")
assert(("x"):rep(-5) == "" and ("x"):rep(1, "sep") == "x" and (""):rep(1000000) == "")
assert(#("abc"):rep(100000) == 300000 and ("a"):rep(3, "\0") == "a\0a\0a")
errs(function() return ("x"):rep(math.maxinteger) end, "resulting string too large")
errs(function() return ("xx"):rep(1 << 62, "y") end, "resulting string too large")

-- reverse, upper, lower, len.
assert(("abc"):reverse() == "cba" and (""):reverse() == "" and ("a\0b"):reverse() == "b\0a")
assert(("MiXeD 123 äÖ"):upper() == "MIXED 123 äÖ" and ("MiXeD"):lower() == "mixed")
assert(("\0"):len() == 1 and #"" == 0 and string.len(all) == 256)

-- Comparison is by bytes, with embedded zeros counting.
assert("a" < "b" and "a" < "aa" and "" < "a" and "Z" < "a" and "a\0b" > "a\0a" and "a" < "a\0")
assert(not ("abc" < "abc") and "abc" <= "abc" and "abd" > "abc" and "\255" > "\1")
local sorted = {"b", "a\0z", "a", "", "ab", "a\0"}
table.sort(sorted)
assert(table.concat(sorted, "|") == "|a|a\0|a\0z|ab|b")

-- The string metatable and method calls.
local mt = getmetatable("")
assert(mt.__index == string and getmetatable("x") == mt)
assert(("%d"):format(5) == "5" and ("x"):upper() == "X" and #("abc") == 3)
errs(function() return ("x"):nomethod() end, "attempt to call a nil value (method 'nomethod')")
assert(("10") + 5 == 15 and "3" * "4" == 12 and -"2" == -2 and "7" // "2" == 3 and "7" % "4" == 3)

-- Strings are values: interning does not show, long strings compare by content.
local l1 = string.rep("long string ", 10)
local l2 = string.rep("long ", 10):gsub("long ", "long string ")
assert(l1 == l2 and ({[l1] = 1})[l2] == 1)

-- tostring and the __tostring / __name metafields.
assert(tostring(nil) == "nil" and tostring(true) == "true" and tostring(12) == "12" and tostring("x") == "x")
assert(tostring({}):find("^table: ") and tostring(print):find("^function: ") and tostring(io.stdout):find("^file %("))
local obj = setmetatable({}, {__tostring = function() return "OBJ" end})
assert(tostring(obj) == "OBJ" and string.format("%s|%s", obj, 1) == "OBJ|1")
local named = setmetatable({}, {__name = "MyType"})
assert(tostring(named):find("^MyType: "))
errs(function() return tostring(setmetatable({}, {__tostring = function() return {} end})) end,
  "'__tostring' must return a string")
errs(function() return tostring() end, "bad argument #1 to 'tostring' (value expected)")

-- Concatenation of numbers and strings; long chains.
assert(1 .. 2 == "12" and 1.5 .. "" == "1.5" and "a" .. 2 ^ 63 == "a9.2233720368548e+18")
local pieces = {}
for i = 1, 1000 do pieces[i] = i end
assert(#table.concat(pieces) == 2893 and table.concat(pieces, ", ", 998) == "998, 999, 1000")
assert(table.concat({}, "x") == "" and table.concat({1, 2, 3}, "", 2, 3) == "23" and table.concat({1}, "", 2, 1) == "")
errs(function() return table.concat({1, {}, 3}) end, "invalid value (table) at index 2 in table for 'concat'")

-- pack and unpack.
local p = string.pack("i4", 100)
assert(#p == 4 and string.unpack("i4", p) == 100)
assert(string.pack("<i2", 0x0102) == "\2\1" and string.pack(">i2", 0x0102) == "\1\2")
assert(string.pack(">I3", 0x010203) == "\1\2\3" and string.unpack("<i3", "\255\255\255") == -1)
assert(string.unpack("<I3", "\255\255\255") == 0xffffff)
assert(string.pack("b", -1) == "\255" and string.unpack("B", "\255") == 255 and string.unpack("b", "\255") == -1)
assert(string.packsize("i4i8") == 12 and string.packsize("!i4i8") == 16 and string.packsize("!1i4i8") == 12 and string.packsize("<i1i2") == 3)
assert(string.packsize("d") == 8 and string.packsize("f") == 4 and string.packsize("j") == 8 and string.packsize("c10") == 10)
for _, v in ipairs({0, 1, -1, math.maxinteger, math.mininteger, 123456789}) do
  assert(string.unpack("j", string.pack("j", v)) == v and string.unpack(">j", string.pack(">j", v)) == v)
end
for _, v in ipairs({0.0, -0.0, 1.5, math.huge, -math.huge, 2^-1074, 1e308}) do
  assert(string.unpack("d", string.pack("d", v)) == v and string.unpack(">n", string.pack(">n", v)) == v)
end
assert(string.unpack("f", string.pack("f", 0.5)) == 0.5 and string.unpack("f", string.pack("f", 0.1)) ~= 0.1)
local packed = string.pack("z s1 s", "zero", "one", "string")
local z, one, str, nextpos = string.unpack("z s1 s", packed)
assert(z == "zero" and one == "one" and str == "string" and nextpos == #packed + 1)
assert(string.pack("c5", "ab") == "ab\0\0\0" and string.unpack("c2", "abcd") == "ab")
assert(select(2, string.unpack("i2", "\1\0\2\0", 3)) == 5 and string.unpack("i2", "\1\0\2\0", -2) == 2)
assert(string.pack("i16", -2) == "\254" .. string.rep("\255", 15))
assert(string.unpack("i16", string.rep("\255", 16)) == -1)
assert(string.pack("!4 i1 i4", 1, 2) == "\1\0\0\0\2\0\0\0" and string.pack("i1 x i1", 1, 2) == "\1\0\2")
assert(string.pack(">!4 i1 Xi4 i2", 1, 2) == "\1\0\0\0\0\2")
errs(function() return string.pack("i17", 1) end, "integral size (17) out of limits [1,16]")
errs(function() return string.pack("i1", 200) end, "integer overflow")
errs(function() return string.pack("c2", "abc") end, "string longer than given size")
errs(function() return string.pack("z", "a\0b") end, "string contains zeros")
errs(function() return string.unpack("i4", "abc") end, "data string too short")
errs(function() return string.unpack("i9", "\0\0\0\0\0\0\0\0\1") end, "9-byte integer does not fit into Lua Integer")
errs(function() return string.unpack("z", "abc") end, "unfinished string for format 'z'")
errs(function() return string.pack("q", 1) end, "invalid format option 'q'")
errs(function() return string.pack("!3 i4", 1) end, "format asks for alignment not power of 2")
errs(function() return string.unpack("i4", "abcd", 10) end, "initial position out of string")
assert(string.unpack("i9", "\255\255\255\255\255\255\255\255\255") == -1)
assert(string.unpack("<I8", "\255\255\255\255\255\255\255\255") == -1)

print("OK strlib")
