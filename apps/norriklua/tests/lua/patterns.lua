-- Pattern matching: find, match, gmatch and gsub with every pattern item, anchors,
-- captures, frontiers, balances, replacement kinds and the errors for bad patterns.

local function errs(f, what)
  local ok, err = pcall(f)
  assert(not ok and err:find(what, 1, true), err)
end

-- find: plain and pattern, init positions, results.
assert(("hello"):find("l") == 3 and select(2, ("hello"):find("ll")) == 4)
assert(("hello"):find("l", 4) == 4 and ("hello"):find("l", -1) == nil and ("hello"):find("", 10) == nil)
assert(("hello"):find("", 6) == 6 and ("hello"):find("", -100) == 1 and ("hello"):find("xyz") == nil)
assert(("a.b"):find(".", 1, true) == 2 and ("a.b"):find(".") == 1 and ("a.b"):find("%.") == 2 and ("a+b"):find("+", 1, true) == 2)
assert(("a(b"):find("(", 1, true) == 2 and ("x[y"):find("[", 1, true) == 2)
local st, en, cap = ("key = value"):find("(%w+)%s*=")
assert(st == 1 and en == 5 and cap == "key")
assert(("a\0b"):find("\0", 1, true) == 2 and ("a\0b"):find("%z") == 2 and ("a\0b"):find("[\0]") == 2)

-- Character classes against every byte.
local classes = {a = "isalpha", d = "isdigit", l = "islower", s = "isspace", u = "isupper",
  w = "isalnum", x = "isxdigit", p = "ispunct", c = "iscntrl", g = "isgraph"}
local expected = {
  a = function(c) return (c >= 65 and c <= 90) or (c >= 97 and c <= 122) end,
  d = function(c) return c >= 48 and c <= 57 end,
  l = function(c) return c >= 97 and c <= 122 end,
  s = function(c) return c == 32 or (c >= 9 and c <= 13) end,
  u = function(c) return c >= 65 and c <= 90 end,
  x = function(c) return (c >= 48 and c <= 57) or (c >= 65 and c <= 70) or (c >= 97 and c <= 102) end,
  c = function(c) return c < 32 or c == 127 end,
  g = function(c) return c > 32 and c < 127 end,
}
expected.w = function(c) return expected.a(c) or expected.d(c) end
expected.p = function(c) return expected.g(c) and not expected.w(c) end
for class in pairs(classes) do
  local count = 0
  for c = 0, 255 do
    local ch = string.char(c)
    local hit = ch:find("^%" .. class .. "$") ~= nil
    assert(hit == expected[class](c), class .. " " .. c)
    assert(hit ~= (ch:find("^%" .. class:upper() .. "$") ~= nil))
    if hit then count = count + 1 end
  end
  assert(count > 0)
end
assert(("x"):find("^.$") and ("\n"):find("^.$") and ("\0"):find("^.$"))

-- Sets and ranges.
assert(("abc123"):match("[a-c]+") == "abc" and ("abc123"):match("[^a-c]+") == "123")
assert(("a-b"):match("[%-]") == "-" and ("a]b"):match("[]]") == "]" and ("a^b"):match("[b^]") == "^")
assert(("x-y"):match("[a-]+", 2) == "-" and ("A9_"):match("[%w_]+") == "A9_" and ("%"):match("[%%]") == "%")
assert(("hello world"):match("[^%s]+$") == "world" and ("\t x"):match("[%s]*()") == 3)

-- Repetitions: greedy, lazy, optional.
assert(("aaab"):match("a*") == "aaa" and ("aaab"):match("a-b") == "aaab" and ("aaab"):match("a-") == "")
assert(("<a><b>"):match("<.->") == "<a>" and ("<a><b>"):match("<.*>") == "<a><b>")
assert(("color colour"):gsub("colou?r", "C") == "C C" and ("xyz"):match("x?y?z?q?") == "xyz")
assert(("aaa"):match("a+", 2) == "aa" and ("baaa"):match("^a+") == nil and ("aaa"):match("a+$") == "aaa")
assert(("^a$"):match("%^a%$") == "^a$" and ("a^"):match("a^") == "a^" and ("$a"):find("$a") == 1)

-- Captures: positions, nesting, back references.
local a, b, c = ("hello world"):match("((%w+) (%w+))")
assert(a == "hello world" and b == "hello" and c == "world")
local p1, word, p2 = ("  word  "):match("()(%a+)()")
assert(p1 == 3 and word == "word" and p2 == 7 and math.type(p1) == "integer")
assert(("abcabc"):match("(abc)%1") == "abc" and ("abab cdcd"):gsub("(%w%w)%1", "<%1>") == "<ab> <cd>")
assert(("x = 'quoted' y"):match("(['\"])(.-)%1") == "'" and select(2, ("'q'"):match("(['\"])(.-)%1")) == "q")
assert(("key=val"):match("^(%w+)=(%w*)$") == "key" and select(2, ("key="):match("^(%w+)=(%w*)$")) == "")

-- Frontier and balance.
assert(("THE (quick) fox"):find("%f[%a]%a+%f[%A]") == 1 and ("the quick"):match("%f[%w]%w+", 4) == "quick")
assert(select(2, ("THE (quick) fox"):gsub("%f[%w]%w+", "W")) == 3)
assert(("aaa bbb"):gsub("%f[%l]", "|") == "|aaa |bbb" and ("x\0y"):find("%f[%z]") == 2)
assert(("(a(b)c) d"):match("%b()") == "(a(b)c)" and ("[[x]] ]"):match("%b[]") == "[[x]]")
assert(("no close ("):match("%b()") == nil and ("f(a, g(b), c)"):gsub("%b()", "") == "f")

-- gmatch: all matches, captures, anchors, init.
local words = {}
for w in ("one two  three"):gmatch("%a+") do words[#words + 1] = w end
assert(#words == 3 and words[3] == "three")
local pairs_ = {}
for k, v in ("a=1, b=2, c=3"):gmatch("(%w+)=(%w+)") do pairs_[k] = tonumber(v) end
assert(pairs_.a == 1 and pairs_.c == 3)
local n = 0
for _ in ("abc"):gmatch("") do n = n + 1 end
assert(n == 4)
local anchored = {}
for w in ("^a^a"):gmatch("^a") do anchored[#anchored + 1] = w end  -- '^' is no anchor here
assert(#anchored == 2 and anchored[1] == "^a")
local from3 = {}
for w in ("a1b2c3"):gmatch("%d", 3) do from3[#from3 + 1] = w end
assert(table.concat(from3) == "23")

-- gsub with every kind of replacement.
assert(("hello world"):gsub("o", "0") == "hell0 w0rld" and select(2, ("hello"):gsub("l", "L")) == 2)
assert(("hello"):gsub("l", "L", 1) == "heLlo" and ("hello"):gsub("", "-") == "-h-e-l-l-o-")
assert(("abc"):gsub("%w", "%0%0") == "aabbcc" and ("abc"):gsub("(%w)", "[%1]") == "[a][b][c]")
assert(("50%"):gsub("%%", "%%%%") == "50%%" and ("x"):gsub("x", "%%") == "%")
assert(("$name and $age"):gsub("%$(%w+)", {name = "Ann", age = 7}) == "Ann and 7")
assert(("$name $other"):gsub("%$(%w+)", {name = "Ann"}) == "Ann $other")
assert(("1 2 3"):gsub("%d", function(d) return d * 2 end) == "2 4 6")
assert(("a b c"):gsub("%a", function(x) if x == "b" then return false end return x:upper() end) == "A b C")
assert(("abc"):gsub("", function() end) == "abc" and ("abc"):gsub(".", {a = 1, b = false}) == "1bc")
errs(function() return ("abc"):gsub(".", {b = true}) end, "invalid replacement value (a boolean)")
assert(("hello"):gsub("l+", function(s) return #s end) == "he2o" and ("abc"):gsub("b*", "-") == "-a-c-")
assert(("abc"):gsub("%w", "%1") == "abc")      -- %1 without captures is the whole match
errs(function() return ("abc"):gsub("(a)", "%2") end, "invalid capture index %2")
errs(function() return ("abc"):gsub("a", "%x") end, "invalid use of '%' in replacement string")
errs(function() return ("abc"):gsub("a", {a = {}}) end, "invalid replacement value (a table)")
errs(function() return ("abc"):gsub("a", true) end, "string/function/table expected, got boolean")
local r, cnt = ("abc"):gsub(".", {}, 0)
assert(r == "abc" and cnt == 0)

-- Malformed patterns.
errs(function() return ("a"):find("[a") end, "malformed pattern (missing ']')")
errs(function() return ("a"):find("%") end, "malformed pattern (ends with '%')")
errs(function() return ("a"):find("(a") end, "unfinished capture")
errs(function() return ("a"):match("a)") end, "invalid pattern capture")
errs(function() return ("a"):find("%1") end, "invalid capture index %1")
errs(function() return ("a"):find("%b") end, "missing arguments to '%b'")
errs(function() return ("a"):find("%f") end, "missing '[' after '%f' in pattern")
errs(function() return ("a"):find(string.rep("(", 40) .. string.rep(")", 40)) end, "too many captures")

-- Matching is bounded: a pathological pattern on a long subject still completes or
-- fails cleanly.
local long = string.rep("a", 2000)
assert(long:find(".-b") == nil and #long:match(".*") == 2000 and long:find("a*$") == 1)
-- Recursion in the matcher is bounded: a deep pattern fails with "pattern too complex".
local ok, err = pcall(string.find, string.rep("a", 300000), string.rep("a?", 300000) .. string.rep("a", 300000))
assert(not ok and err:find("pattern too complex"), err)
local s1, e1 = string.find("a", string.rep("a?", 250000))
assert(s1 == 1 and e1 == 1)
assert(string.match(string.rep("(", 3000), "%b()") == nil)
assert(#string.match(string.rep("(", 3000) .. string.rep(")", 3000), "%b()") == 6000)

print("OK patterns")
