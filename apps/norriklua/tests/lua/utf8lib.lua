-- The utf8 library: char, charpattern, codes, codepoint, len, offset, in strict and lax
-- modes, with invalid sequences.

local function errs(f, what)
  local ok, err = pcall(f)
  assert(not ok and err:find(what, 1, true), err)
end

assert(utf8.char() == "" and utf8.char(72, 228, 8364, 0x1F600) == "H\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80")
assert(utf8.char(0) == "\0" and utf8.char(0x7F) == "\x7F" and utf8.char(0x80) == "\xC2\x80")
assert(utf8.char(0x7FF) == "\xDF\xBF" and utf8.char(0x800) == "\xE0\xA0\x80" and utf8.char(0xFFFF) == "\xEF\xBF\xBF")
assert(utf8.char(0x10000) == "\xF0\x90\x80\x80" and utf8.char(0x10FFFF) == "\xF4\x8F\xBF\xBF")
assert(utf8.char(0x7FFFFFFF) == "\xFD\xBF\xBF\xBF\xBF\xBF" and utf8.char(0x200000) == "\xF8\x88\x80\x80\x80")
errs(function() return utf8.char(0x80000000) end, "value out of range")
errs(function() return utf8.char(-1) end, "value out of range")
assert(utf8.charpattern == "[\0-\x7F\xC2-\xFD][\x80-\xBF]*")

local s = "añ€😀"
assert(utf8.len(s) == 4 and #s == 10 and utf8.len("") == 0 and utf8.len(s, 2) == 3 and utf8.len(s, -4) == 1)
assert(utf8.len(s, 1, 1) == 1 and utf8.len(s, 5, 4) == 0 and utf8.len(s, 11) == 0)
local n, pos = utf8.len("ab\xFFcd")
assert(n == nil and pos == 3)
n, pos = utf8.len("\xE2\x82")             -- truncated sequence
assert(n == nil and pos == 1)
assert(utf8.len("\xC0\x80") == nil and utf8.len("\xE0\x80\x80") == nil)   -- overlong forms
assert(utf8.len("\xED\xA0\x80") == nil and utf8.len("\xED\xA0\x80", 1, -1, true) == 1)   -- surrogates
assert(utf8.len("\xF4\x90\x80\x80") == nil and utf8.len("\xF4\x90\x80\x80", 1, -1, true) == 1)
n, pos = utf8.len(s, 3)   -- a continuation byte where a character should start
assert(n == nil and pos == 3)
errs(function() return utf8.len(s, 12) end, "initial position out of bounds")

-- codepoint.
assert(utf8.codepoint(s) == 97 and utf8.codepoint(s, 2) == 241 and utf8.codepoint(s, 4) == 8364)
local cps = {utf8.codepoint(s, 1, -1)}
assert(#cps == 4 and cps[4] == 0x1F600)
assert(select("#", utf8.codepoint(s, 5, 4)) == 0)
errs(function() return utf8.codepoint(s, 3) end, "invalid UTF-8 code")
errs(function() return utf8.codepoint("\xFF") end, "invalid UTF-8 code")
errs(function() return utf8.codepoint(s, 1, 11) end, "out of bounds")
errs(function() return utf8.codepoint("\xED\xA0\x80") end, "invalid UTF-8 code")
assert(utf8.codepoint("\xED\xA0\x80", 1, 1, true) == 0xD800)
assert(utf8.codepoint("\xFD\xBF\xBF\xBF\xBF\xBF", 1, 1, true) == 0x7FFFFFFF)

-- offset: from the start, from the end, and relative to a position.
assert(utf8.offset(s, 1) == 1 and utf8.offset(s, 2) == 2 and utf8.offset(s, 3) == 4 and utf8.offset(s, 4) == 7)
assert(utf8.offset(s, 5) == 11 and utf8.offset(s, 6) == nil)
assert(utf8.offset(s, -1) == 7 and utf8.offset(s, -4) == 1 and utf8.offset(s, -5) == nil)
assert(utf8.offset(s, 0, 5) == 4 and utf8.offset(s, 0, 9) == 7 and utf8.offset(s, 0, 1) == 1)
assert(utf8.offset(s, 2, 4) == 7 and utf8.offset(s, -1, 4) == 2 and utf8.offset("", 1) == 1 and utf8.offset("", -1) == nil)
errs(function() return utf8.offset(s, 1, 3) end, "initial position is a continuation byte")
errs(function() return utf8.offset(s, 1, 12) end, "position out of bounds")

-- codes: iteration over positions and code points, and errors on bad bytes.
local got = {}
for p, c in utf8.codes(s) do got[#got + 1] = p .. ":" .. c end
assert(table.concat(got, " ") == "1:97 2:241 4:8364 7:128512")
local function iterate(str, lax)
  local list = {}
  for _, c in utf8.codes(str, lax) do list[#list + 1] = c end
  return list
end
assert(#iterate("") == 0 and #iterate("\0\0") == 2)
errs(function() iterate("ab\xFF") end, "invalid UTF-8 code")
errs(function() iterate("\xE2\x82") end, "invalid UTF-8 code")
assert(iterate("\xED\xA0\x80", true)[1] == 0xD800)
errs(function() iterate("\xED\xA0\x80") end, "invalid UTF-8 code")

-- Round trip over a spread of code points, and the pattern for one character.
local all = {}
for cp = 0, 0x10FFFF, 0x101 do
  if cp < 0xD800 or cp > 0xDFFF then all[#all + 1] = cp end
end
local text = utf8.char(table.unpack(all, 1, 4000))
assert(utf8.len(text) == 4000)
local back = {utf8.codepoint(text, 1, -1)}
for i = 1, 4000 do assert(back[i] == all[i]) end
local chars = 0
for ch in text:gmatch(utf8.charpattern) do
  chars = chars + 1
  assert(utf8.codepoint(ch) == all[chars])
end
assert(chars == 4000)
assert(("\u{48}\u{E4}"):match(utf8.charpattern .. "$") == "\xC3\xA4")

print("OK utf8lib")
