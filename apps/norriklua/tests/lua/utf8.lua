-- The utf8 library.
assert(utf8.char(72, 228, 8364, 128512) == "H\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80")
local s = "h\u{E4}\u{20AC}\u{1F600}!"
assert(utf8.len(s) == 5 and #s == 11)
local codes = {}
for p, c in utf8.codes(s) do codes[#codes + 1] = p .. ":" .. c end
assert(table.concat(codes, " ") == "1:104 2:228 4:8364 7:128512 11:33")
assert(utf8.codepoint(s, 1, -1) == 104 and select(4, utf8.codepoint(s, 1, -1)) == 128512)
assert(utf8.offset(s, 3) == 4 and utf8.offset(s, -1) == 11 and utf8.offset(s, 6) == 12)
assert(utf8.len("\xFF") == nil and select(2, utf8.len("ab\xFF")) == 3)
assert(not pcall(utf8.codepoint, "\xFF") and not pcall(function() for _ in utf8.codes("a\xFF") do end end))
assert(utf8.charpattern == "[\0-\x7F\xC2-\xFD][\x80-\xBF]*")
assert(utf8.len("\u{7FFFFFFF}", 1, -1, true) == 1 and utf8.len("\u{7FFFFFFF}") == nil)
local n = 0
for ch in string.gmatch(s, utf8.charpattern) do n = n + 1 end
assert(n == 5)
assert(utf8.char() == "" and utf8.len("") == 0)
