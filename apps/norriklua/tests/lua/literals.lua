-- The lexer: string escapes, long strings and comments, numerals in every form, and the
-- messages for malformed input.

local function fails(src, what)
  local f, err = load(src, "=chunk")
  assert(f == nil, src)
  assert(err:find(what, 1, true), err)
end

-- Escapes.
assert("\a\b\f\n\r\t\v\\\"\'" == "\7\8\12\10\13\9\11\92\34\39")
assert("\65\066\0677" == "ABC7")
assert("\x41\x62\x5A\x7a" == "AbZz")
assert("\0" ~= "" and #"\0\0\0" == 3 and ("a\0b"):byte(2) == 0)
assert("\u{41}\u{E9}\u{20AC}\u{10FFFF}" == "A\xC3\xA9\xE2\x82\xAC\xF4\x8F\xBF\xBF")
assert("\u{7FFFFFFF}" == "\xFD\xBF\xBF\xBF\xBF\xBF")    -- Lua accepts up to 2^31 - 1
assert("\u{0000041}" == "A")
assert("a\z
        b" == "ab")
assert(load("return 'x\\z  \n\r\n\t  y'")() == "xy")
assert("line\
next" == "line\nnext")
assert("crlf\
" == "crlf\n")
fails([[return "\q"]], "invalid escape sequence")
fails([[return "\x4"]], "hexadecimal digit expected")
fails([[return "\256"]], "decimal escape too large")
fails([[return "\u{110000000}"]], "UTF-8 value too large")
fails([[return "\u{41"]], "missing '}'")
fails([[return "\u41"]], "missing '{'")
fails('return "abc', "unfinished string")
fails('return "abc\ndef"', "unfinished string")

-- Long strings and comments.
assert([[
first newline is skipped]] == "first newline is skipped")
assert([==[a]]b]=]c]==] == "a]]b]=]c")
assert([[a
b]] == "a\nb")
assert([[\n\z]] == "\\n\\z")   -- no escapes in long strings
local long = [=[
[[nested]]
]=]
assert(long == "[[nested]]\n")
fails("return [==[abc]=]", "unfinished long string")
fails("--[[ never closed", "unfinished long comment")
fails("return [=x", "invalid long string delimiter")
assert(load("--[==[ a ]] ]=] ]==] return 1")() == 1)
assert(load("-- line comment\nreturn 2")() == 2)
assert(load("#!/shebang line\nreturn 3") == nil)   -- only loadfile skips a first '#' line
-- Line ends of every kind count lines the same way.
for _, nl in ipairs({"\n", "\r", "\r\n", "\n\r"}) do
  local f = load("local a = 1" .. nl .. nl .. "error('here')", "=nl")
  local _, err = pcall(f)
  assert(err == "nl:3: here", err)
end

-- Numerals.
assert(0x10 == 16 and 0XfF == 255 and 0xA.8p0 == 10.5 and 0x.1p4 == 1.0)
assert(0x1p-2 == 0.25 and 0x1P+4 == 16.0 and 0x.8 == 0.5 and 0x1.8 == 1.5)
assert(math.type(0x10) == "integer" and math.type(0x1p4) == "float")
assert(0xffffffffffffffff == -1 and 0x7fffffffffffffff == math.maxinteger)
assert(0x10000000000000000 == 0)              -- hex integers wrap around
assert(9223372036854775807 == math.maxinteger)
assert(math.type(9223372036854775808) == "float" and 9223372036854775808 == 2^63)
assert(-9223372036854775808 == -2^63 and math.type(-9223372036854775808) == "float")
assert(1e2 == 100.0 and 1E-2 == 0.01 and .5 == 0.5 and 5. == 5.0 and 3e+0 == 3)
assert(math.type(1e2) == "float" and math.type(100) == "integer")
assert(1e309 == math.huge and 1e-400 == 0 and 4.9e-324 > 0)
assert(0.1 + 0.2 ~= 0.3 and 0.1 == 1/10)
assert(123456789012 * 1000 == 123456789012000)
fails("return 1e", "malformed number")
fails("return 0x", "malformed number")
fails("return 1..2", "malformed number")
fails("return 3x", "malformed number")
fails("return 0xg", "malformed number")
assert(load("return 1 .. 2")() == "12")

-- Names, keywords and tokens.
assert(load("local _ = 1; local _a1_ = 2; return _a1_")() == 2)
fails("local goto = 1", "<name> expected")
fails("return 1 @ 2", "<eof> expected near '@'")
fails("x = = 1", "unexpected symbol")
local a, b, c, d = load("return 7 >> 1, ~5, 1 ~ 3, 2 ~= 2")()
assert(a == 3 and b == -6 and c == 2 and d == false)
-- Attributes.
assert(load("local x <const> = 5; return x")() == 5)
fails("local x <const> = 5; x = 6", "attempt to assign to const variable 'x'")
fails("local x <unknown> = 5", "unknown attribute 'unknown'")
fails("local x <close>, y <close> = nil, nil", "multiple to-be-closed variables")

-- Chunk names in messages.
local _, err = load("x = ", "=mine")
assert(err == "mine:1: unexpected symbol near <eof>", err)
_, err = load("x = ", "@file.lua")
assert(err == "file.lua:1: unexpected symbol near <eof>", err)
_, err = load("\n\nx = = 1", "return 1")
assert(err:find('^%[string "return 1"%]:3:'), err)
_, err = load("x=", string.rep("long", 40))
assert(err:find('^%[string "longlong.-%.%.%."%]:1:'), err)
_, err = load("x = 1\ny =", "two\nlines")
assert(err:find('^%[string "two%.%.%."%]:2:'), err)

-- Nesting in the parser is limited by the C stack: a clean error, and the limit is far enough.
for _, src in ipairs({"return " .. ("("):rep(1000) .. "1" .. (")"):rep(1000), ("do "):rep(300) .. ("end "):rep(300),
  "return " .. ("{"):rep(300) .. ("}"):rep(300), "x = " .. ("- "):rep(500) .. "1"}) do
  local f, err = load(src)
  assert(f == nil and err:find("C stack overflow", 1, true), err)
end
assert(load("return " .. ("("):rep(150) .. "1" .. (")"):rep(150))() == 1)
assert(load("return " .. ("- "):rep(100) .. "1")() == 1 and #load("return " .. ("{"):rep(100) .. ("}"):rep(100))() == 1)
assert(load("return " .. ("a."):rep(10000) .. "b"))   -- long but flat expressions are fine

-- A big chunk with many constants and a long string.
local parts = {"local t = {"}
for i = 1, 5000 do parts[#parts + 1] = i .. ", '" .. i .. "', " .. i .. ".5," end
parts[#parts + 1] = "} return t"
local t = load(table.concat(parts))()
assert(#t == 15000 and t[3] == 1.5 and t[14999] == "5000" and t[15000] == 5000.5)
local big = string.rep("x", 100000)
assert(load("return [[" .. big .. "]]")() == big)
assert(load("return '" .. big .. "'")() == big)

print("OK literals")
