-- The string library: formatting, patterns, conversions, packing.

-- string.format: every conversion with flags, width and precision.
local f = string.format
assert(f("%d|%5d|%-5d|%05d|%+d", 42, 42, 42, 42, 42) == "42|   42|42   |00042|+42")
assert(f("%x|%X|%#x|%o", 255, 255, 255, 8) == "ff|FF|0xff|10")
assert(f("%.3f|%10.2f|%-10.1f|%e", 3.14159, 2.5, -1.25, 12345.678) ==
       "3.142|      2.50|-1.2      |1.234568e+04")
assert(f("%g|%g|%g|%g", 1e20, 0.0001, 123456789, 1.5) == "1e+20|0.0001|1.23457e+08|1.5")
assert(f("%.14g", 0.1) == "0.1" and f("%.17g", 0.1) == "0.10000000000000001")
assert(f("%a", 1.0) == "0x1p+0" and f("%A", -0.5) == "-0X1P-1")
assert(f("%.0f|%.0f|%.0f|%.1f", 0.5, 1.5, 2.5, 0.25) == "0|2|2|0.2")  -- half to even
assert(f("%5s|%-5s|%.2s", "ab", "ab", "abcdef") == "   ab|ab   |ab")
assert(f("%c%c%c", 76, 117, 97) == "Lua")
assert(f("%q", 'a "quoted"\n\0 string') == '"a \\"quoted\\"\\\n\\0 string"')
assert(f("%q", 1/0) == "1e9999" and f("%q", -1/0) == "-1e9999" and f("%q", 0/0) == "(0/0)")
assert(f("%q", math.mininteger) == "0x8000000000000000")
assert(f("%q", 0.1) == "0x1.999999999999ap-4")
assert(f("%i", -7) == "-7" and f("%u", 7) == "7")
assert(f("%%") == "%" and f("%s", nil) == "nil" and f("%s", true) == "true")
assert(f("%10.4s|", "abcdefgh") == "      abcd|")
assert(f("%.99f", 1.0):len() == 101)
assert(f("%099d", 7):len() == 99)
assert(not pcall(f, "%100d", 1))       -- too long
assert(not pcall(f, "%d", 1.5))        -- no integer representation
assert(not pcall(f, "%y", 1))          -- invalid conversion
assert(f("%d", 3.0) == "3")
assert(f("%s %s", 1, 2.0) == "1 2.0")
assert(tostring(1e15) == "1e+15" and tostring(2^53) == "9.007199254741e+15")
assert(tostring(-0.0) == "-0.0" and tostring(100.0) == "100.0" and tostring(1/0) == "inf")
assert(tostring(3) == "3" and tostring(-3.5) == "-3.5")

-- Patterns.
assert(string.find("hello world", "o w") == 5)
assert(string.find("hello", "l+") == 3)
assert(select(2, string.find("hello", "l+")) == 4)
assert(string.find("a.b", ".", 1, true) == 2)
assert(string.find("abc", "b", -1) == nil)
assert(string.find("", "") == 1 and string.find("abc", "", 10) == nil)
assert(string.match("key = value", "(%w+)%s*=%s*(%w+)") == "key")
assert(select(2, string.match("key = value", "(%w+)%s*=%s*(%w+)")) == "value")
assert(string.match("2024-01-15", "(%d+)-(%d+)-(%d+)") == "2024")
assert(string.match("  trim  ", "^%s*(.-)%s*$") == "trim")
assert(string.match("THE (quick) fox", "%((%a+)%)") == "quick")
assert(string.match("f(a(b)c)d", "%b()") == "(a(b)c)")
assert(string.match("THE quick", "%f[%a]%a+", 4) == "quick")
assert(string.match("hello", "()ll()") == 3)
assert(string.match("x = 10", "()=") == 3)
assert(string.match("aaa", "a-b") == nil and string.match("aaab", "a-b") == "aaab")
assert(string.match("[test]", "^%[(.*)%]$") == "test")
assert(string.match("a+b", "a%+b") == "a+b")
assert(string.match("abc123", "[%a]+") == "abc" and string.match("abc123", "[^%a]+") == "123")
assert(string.match("x", "[a-z]") == "x" and string.match("X", "[a-z]") == nil)
assert(string.match("\t\n ", "^%s+$") and string.match("!?", "^%p+$") and string.match("\1", "%c"))
assert(string.match("hello hello", "(h%a+) %1") == "hello")
local words = {}
for w in string.gmatch("one two  three", "%a+") do words[#words + 1] = w end
assert(#words == 3 and words[3] == "three")
local pairs_found = {}
for k, v in string.gmatch("a=1, b=2", "(%w+)=(%w+)") do pairs_found[k] = tonumber(v) end
assert(pairs_found.a == 1 and pairs_found.b == 2)
assert(string.gsub("hello world", "o", "0") == "hell0 w0rld")
assert(select(2, string.gsub("hello world", "o", "0")) == 2)
assert(string.gsub("hello", "", "-") == "-h-e-l-l-o-")
assert(string.gsub("abc", "%w", "%0%0") == "aabbcc")
assert(string.gsub("hello world", "(%w+)", "<%1>") == "<hello> <world>")
assert(string.gsub("$name is $age", "%$(%w+)", {name = "Lua", age = 30}) == "Lua is 30")
assert(string.gsub("abc", "%w", function(c) return c:upper() .. "." end) == "A.B.C.")
assert(string.gsub("abc", "b", {}) == "abc")  -- a missing key keeps the match
assert(string.gsub("aaa", "a", "b", 2) == "bba")
assert(not pcall(string.gsub, "x", "x%", ""))        -- pattern ends with %
assert(not pcall(string.find, "x", "[a"))            -- malformed set
assert(not pcall(string.rep, "x", 1 << 40))          -- resulting string too large
-- Pattern matching that recurses too deeply fails cleanly.
assert(not pcall(string.match, string.rep("a", 300000), string.rep("a?", 300000) .. string.rep("a", 300000)))

-- Other functions.
assert(string.rep("ab", 3, ",") == "ab,ab,ab" and string.rep("x", 0) == "" and string.rep("x", -1) == "")
assert(("hello"):sub(2, 4) == "ell" and ("hello"):sub(-3) == "llo" and ("hello"):sub(0) == "hello")
assert(("hello"):sub(10) == "" and ("hello"):sub(3, 2) == "")
assert(string.byte("ABC", 1, -1) == 65 and select(3, string.byte("ABC", 1, -1)) == 67)
assert(string.char(72, 105) == "Hi" and string.char() == "")
assert(not pcall(string.char, 256))
assert(string.reverse("abc") == "cba" and string.upper("aBc") == "ABC" and string.lower("AbC") == "abc")
assert(#"\0\1\2" == 3 and string.len("\0") == 1)
assert(("x"):rep(3) == "xxx")
assert("\65\066\x43\u{44}\z
        E" == "ABCDE")
assert("a" < "b" and "a" < "ab" and "Z" < "a" and not ("a" < "a") and "" < "a")
assert("\0a" < "\0b" and "a\0" > "a")

-- string.pack and unpack.
local packed = string.pack("i4 i8 d z s1", -1, 1 << 40, 2.5, "zs", "len")
local a, b, c, d, e = string.unpack("i4 i8 d z s1", packed)
assert(a == -1 and b == 1 << 40 and c == 2.5 and d == "zs" and e == "len")
assert(string.pack(">I2", 0x0102) == "\1\2" and string.pack("<I2", 0x0102) == "\2\1")
assert(string.packsize("i4 i8") == 12 and string.packsize("!8 i4 i8") == 16 and string.unpack("B", "\255") == 255)
assert(not pcall(string.pack, "i1", 200))

-- Conversions between strings and numbers.
assert(tonumber("10") == 10 and tonumber("0x10") == 16 and tonumber("  1e2  ") == 100.0)
assert(tonumber("1e") == nil and tonumber("") == nil and tonumber("0x") == nil and tonumber("1 2") == nil)
assert(tonumber("inf") == nil and tonumber("nan") == nil)
assert(tonumber("0x1p4") == 16.0 and tonumber("0x.8") == 0.5 and tonumber("0xA.8p1") == 21.0)
assert(tonumber("10", 2) == 2 and tonumber("ff", 16) == 255 and tonumber("zz", 36) == 1295)
assert(tonumber("8", 8) == nil and tonumber("7fffffffffffffff", 16) == math.maxinteger)
assert(tonumber("9223372036854775808") == 2^63)   -- too large for an integer: a float
assert(math.type(tonumber("9223372036854775807")) == "integer")
assert(tonumber("0.1") == 0.1 and tonumber("123456789012345678901234567890") == 1.2345678901234568e29)
for _, x in ipairs({0.1, 1/3, 2^-1074, 1.7976931348623157e308, 123.456, 5e-324, 2.2250738585072014e-308}) do
  assert(tonumber(f("%.17g", x)) == x, x)
  assert(tonumber(f("%a", x)) == x, x)
end
assert("10" + 1 == 11 and "3" * "4" == 12 and 10 .. "" == "10" and "0x10" + 0 == 16)
assert(math.type("10" + 1) == "integer" and math.type("10.0" + 1) == "float")
assert(not pcall(function() return "abc" + 1 end))
