-- Files: io.open's modes and failures, every read format (numbers in detail), lines with
-- formats, seek and setvbuf, write chaining, standard files, loadfile/dofile/require from
-- files, os.remove/os.rename/os.tmpname results, and os.time/os.date/os.clock.

local function errs(f, what)
  local ok, err = pcall(f)
  assert(not ok and err:find(what, 1, true), err)
end
local function write(name, content)
  local f = assert(io.open(name, "wb"))
  assert(f:write(content) == f)
  assert(f:close() == true)
end
local function read(name)
  local f = assert(io.open(name, "rb"))
  local s = f:read("a")
  f:close()
  return s
end
local name, other = "files_test.tmp", "files_test2.tmp"
os.remove(name); os.remove(other)

-- Failures return nil, a message naming the file, and an error number.
local f, msg, code = io.open("files_missing.tmp")
assert(f == nil and msg:find("^files_missing%.tmp: ") and math.type(code) == "integer" and code > 0)
if not _port then assert(msg == "files_missing.tmp: No such file or directory" and code == 2) end
local f2, msg2, code2 = io.open("files_missing.tmp", "r+")
assert(f2 == nil and msg2 == msg and code2 == code)
for _, bad in ipairs({"rw", "x", "r+x", "", "+", "wa"}) do
  errs(function() io.open(name, bad) end, "invalid mode")
end
for _, good in ipairs({"w", "wb", "w+", "w+b", "a", "ab", "a+", "r", "rb", "r+", "r+b"}) do
  local h = assert(io.open(name, good))
  h:close()
end
local r1, m1, c1 = os.remove("files_missing.tmp")
assert(r1 == nil and m1:find("^files_missing%.tmp: ") and math.type(c1) == "integer")
local r2, m2, c2 = os.rename("files_missing.tmp", other)
assert(r2 == nil and type(m2) == "string" and c2 == c1)   -- rename's message names no file
errs(function() io.lines("files_missing.tmp") end, "files_missing.tmp")
local okd, ed = pcall(dofile, "files_missing.tmp")
assert(not okd and ed:find("cannot open files_missing.tmp"), ed)
local lf, le = loadfile("files_missing.tmp")
assert(lf == nil and le:find("cannot open files_missing.tmp"), le)

-- Writing: values, chaining, number formats, and what reads back.
f = assert(io.open(name, "w"))
assert(f:write("a", 1, " ", 2.5, " ", -0.0, " ", math.maxinteger, " ", 1e100, "\n"):write("chained"):write() == f)
errs(function() f:write({}) end, "bad argument #1 to 'write' (string expected, got table)")
f:close()
assert(read(name) == "a1 2.5 -0 9223372036854775807 1e+100\nchained")   -- floats as %.14g, without the ".0" tostring adds
errs(function() f:write("x") end, "attempt to use a closed file")
errs(function() f:read() end, "attempt to use a closed file")
assert(tostring(f) == "file (closed)" and io.type(f) == "closed file" and io.type(42) == nil)
assert(tostring(io.stdout):find("^file %(") and io.type(io.stdout) == "file")
local okc, ec = pcall(f.close, f)
assert(not okc and ec:find("attempt to use a closed file"))

-- Reading formats: lines with and without ends, counts, all, at end of file.
write(name, "alpha\nbeta\r\n\ngamma")
f = assert(io.open(name))
assert(f:read() == "alpha" and f:read("L") == "beta\r\n" and f:read("l") == "" and f:read(0) == "")
assert(f:read(3) == "gam" and f:read(100) == "ma" and f:read(0) == nil and f:read(1) == nil)
assert(f:read("l") == nil and f:read("L") == nil and f:read("a") == "" and f:read("a") == "")
assert(select("#", f:read("l", "l")) == 1)   -- reading stops at the first failure
f:close()
f = assert(io.open(name))
local x, y, z = f:read(1, "l", 2)
assert(x == "a" and y == "lpha" and z == "be")
errs(function() f:read("x") end, "bad argument #1 to 'read' (invalid format)")
errs(function() f:read({}) end, "bad argument #1 to 'read' (string expected, got table)")
assert(f:read("*l") == "ta\r" and f:read("*a") == "\ngamma")   -- the 5.3 '*' prefix is accepted
f:close()

-- Numbers: integers, floats, hexadecimal, signs, whitespace, failures.
write(name, "  12 -3 +4 0x1F 0X1p4 1.5e2 .5 5. 1e-2 9223372036854775807 9223372036854775808 -0x10\n" ..
  "0x 1e+ abc")
f = assert(io.open(name))
local nums = {f:read("n", "n", "n", "n", "n", "n", "n", "n", "n", "n", "n", "n")}
assert(#nums == 12)
assert(nums[1] == 12 and math.type(nums[1]) == "integer" and nums[2] == -3 and nums[3] == 4 and nums[4] == 31)
assert(nums[5] == 16.0 and math.type(nums[5]) == "float" and nums[6] == 150.0 and nums[7] == 0.5 and nums[8] == 5.0)
assert(nums[9] == 0.01 and nums[10] == math.maxinteger and nums[11] == 2^63 and math.type(nums[11]) == "float")
assert(nums[12] == -16)
assert(f:read("n") == nil)              -- "0x" is not a number; the bad characters are consumed
assert(f:read("n") == nil)              -- "1e+" neither
assert(f:read("l") == " abc")
f:close()
write(name, string.rep("1", 300) .. "\n")
f = assert(io.open(name))
assert(f:read("n") == nil)              -- a numeral longer than the buffer fails
f:close()
write(name, "1\n2\n3\n")
f = assert(io.open(name))
local n1, n2, n3, n4 = f:read("n", "n", "n", "n")
assert(n1 == 1 and n2 == 2 and n3 == 3 and n4 == nil)
f:close()

-- lines: with formats, keeping the file open, closing at the end, and limits.
write(name, "1 2\n3 4\nlast")
local got = {}
for a, b in io.lines(name, "n", "n") do got[#got + 1] = a + b end
assert(#got == 2 and got[1] == 3 and got[2] == 7)
got = {}
for l in io.lines(name, "L") do got[#got + 1] = l end
assert(got[1] == "1 2\n" and got[3] == "last")
got = {}
for c in io.lines(name, 4) do got[#got + 1] = c end
assert(table.concat(got, "|") == "1 2\n|3 4\n|last")
f = assert(io.open(name))
for l in f:lines() do got = l end
assert(got == "last" and io.type(f) == "file" and f:read("a") == "")   -- f:lines leaves the file open
f:close()
errs(function() for _ in f:lines() do end end, "attempt to use a closed file")
local it = io.lines(name)
assert(it() == "1 2" and it() == "3 4" and it() == "last" and it() == nil)
errs(it, "file is already closed")
local formats = {}
for i = 1, 251 do formats[i] = "l" end
errs(function() io.lines(name, table.unpack(formats)) end, "too many arguments")
-- io.lines gives its file as the loop's closing value: a break closes it.
local iter, st, ctl, fh = io.lines(name)
assert(io.type(fh) == "file")
for _ in iter, st, ctl, fh do break end
assert(io.type(fh) == "closed file")

-- seek and setvbuf.
write(name, "0123456789")
f = assert(io.open(name, "r+"))
assert(f:seek() == 0 and f:seek("end") == 10 and f:seek("set", 3) == 3 and f:read(2) == "34")
assert(f:seek("cur") == 5 and f:seek("cur", -2) == 3 and f:seek("end", -1) == 9 and f:read(1) == "9")
local sn, sm = f:seek("set", -1)
assert(sn == nil and type(sm) == "string")
errs(function() f:seek("middle") end, "bad argument #1 to 'seek' (invalid option 'middle')")
errs(function() f:seek("set", 1.5) end, "number has no integer representation")
assert(f:seek("set", 15) == 15)
f:write("X")                          -- past the end: the gap reads as zeros
f:close()
assert(read(name) == "0123456789\0\0\0\0\0X")
f = assert(io.open(name, "w"))
assert(f:setvbuf("no") == true and f:setvbuf("full", 1024) == true and f:setvbuf("line") == true)
errs(function() f:setvbuf("sometimes") end, "invalid option 'sometimes'")
f:write("buffered"); assert(f:flush() == true)
f:close()
assert(read(name) == "buffered")

-- Appending always writes at the end; "w" truncates at open; "r+" keeps the content.
write(name, "start")
f = assert(io.open(name, "a+"))
f:write("-one")
f:seek("set", 0)
assert(f:read(5) == "start")
f:write("-two")
f:close()
assert(read(name) == "start-one-two")
f = assert(io.open(name, "w"))
assert(read(name) == "")
f:close()
write(name, "abcdef")
f = assert(io.open(name, "r+"))
f:seek("set", 2); f:write("XY"); f:close()
assert(read(name) == "abXYef")

-- Large and binary content.
local big = {}
for i = 1, 20000 do big[i] = string.format("%05d:%s\n", i, string.char(i % 256)) end
big = table.concat(big)
write(name, big)
f = assert(io.open(name, "rb"))
local back, chunk = {}, nil
repeat chunk = f:read(4096); back[#back + 1] = chunk until not chunk
f:close()
assert(table.concat(back) == big and #big == 160000)
local count = 0
for l in io.lines(name, "L") do count = count + 1 end
assert(count >= 20000)

-- Standard files and the default input/output.
local okstd, emstd = io.stdout:close()
assert(okstd == nil and emstd == "cannot close standard file" and io.type(io.stdout) == "file")
assert(io.output() == io.stdout and io.input() == io.stdin)
io.output(name)
io.write("one", 2, "\n")
assert(io.output() ~= io.stdout)
io.close()
errs(function() io.write("x") end, "default output file is closed")
io.output(io.stdout)
io.input(name)
assert(io.read("l") == "one2" and io.read("n") == nil)
io.close(io.input())
errs(function() io.read() end, "default input file is closed")
io.input(io.stdin)
errs(function() io.input("files_missing.tmp") end, "files_missing.tmp")
assert(io.write() == io.stdout)

-- loadfile, dofile and require on files.
write(name, "#!first line skipped\nlocal a, b = ... return (a or 1) + (b or 2), ...")
local chunk = assert(loadfile(name))
assert(chunk(10, 20) == 30 and select("#", chunk(1, 2)) == 3)
assert(dofile(name) == 3)
write(name, "return x")
assert(loadfile(name, "t", {x = "from env"})() == "from env")
local nb, eb = loadfile(name, "b")
assert(nb == nil and eb:find("attempt to load a text chunk"))
write(name, string.dump(function() return "binary" end))
assert(loadfile(name)() == "binary" and loadfile(name, "b")() == "binary")
write(name, "error('raised in file')")
local okf, ef = pcall(dofile, name)
assert(not okf and ef:find("files_test.tmp:1: raised in file", 1, true), ef)
write(name, "return = 1")
local sf, se = loadfile(name)
assert(sf == nil and se:find("files_test.tmp:1:", 1, true))
write("files_mod.lua", "local M = {loads = (files_loads or 0) + 1} files_loads = M.loads return M")
local oldpath = package.path
package.path = "./?.lua;" .. oldpath
local mod = require("files_mod")
assert(mod.loads == 1 and require("files_mod") == mod and package.loaded.files_mod == mod)
package.loaded.files_mod = nil
assert(require("files_mod").loads == 2)
package.path = oldpath
package.loaded.files_mod = nil
files_loads = nil
assert(os.remove("files_mod.lua"))

-- os.rename replaces an existing target; os.remove returns true; os.tmpname names a usable file.
write(name, "source"); write(other, "target")
assert(os.rename(name, other) == true and read(other) == "source" and io.open(name) == nil)
assert(os.remove(other) == true and io.open(other) == nil)
local t1, t2 = os.tmpname(), os.tmpname()
assert(type(t1) == "string" and t1 ~= t2)
local tf = assert(io.open(t1, "w"))
tf:write("tmp")
tf:close()
assert(read(t1) == "tmp" and os.remove(t1))
os.remove(t2)
local tmpf = io.tmpfile()
assert(io.type(tmpf) == "file" and tmpf:write("scratch") == tmpf and tmpf:seek("set") == 0 and tmpf:read("a") == "scratch")
tmpf:close()

-- Time and date: round-trips through "*t" and "!*t", normalisation, formats, clock.
for _, t in ipairs({0, 86399, 951782400, 1234567890, 1709251199, 2147483647, 4102444800}) do
  local u = os.date("!*t", t)
  assert(type(u.isdst) == "boolean" and u.year >= 1970)
  local l = os.date("*t", t)
  assert(os.time(l) == t, t)                              -- local time round-trips exactly
  assert(os.date("!%Y-%m-%d %H:%M:%S", t) == string.format("%04d-%02d-%02d %02d:%02d:%02d",
    u.year, u.month, u.day, u.hour, u.min, u.sec))
end
local leap = os.date("!*t", 951782400)              -- 2000-02-29, a leap day
assert(leap.year == 2000 and leap.month == 2 and leap.day == 29 and leap.yday == 60 and leap.wday == 3)
local fields = {year = 2023, month = 14, day = -1, hour = 25, min = 61, sec = 61}
local normal = os.time(fields)
assert(fields.year == 2024 and fields.month == 1 and fields.day == 31 and fields.hour == 2 and fields.min == 2 and fields.sec == 1)
assert(os.time(fields) == normal)                  -- os.time writes back the normalised fields
assert(os.time({year = 2020, month = 1, day = 1, hour = 12}) - os.time({year = 2019, month = 12, day = 31, hour = 12}) == 86400)
assert(os.time({year = 2020, month = 1, day = 1}) == os.time({year = 2020, month = 1, day = 1, hour = 12, min = 0, sec = 0}))
errs(function() os.time({year = 2020, month = 1}) end, "field 'day' missing in date table")
errs(function() os.time({year = 2020, month = "x", day = 1}) end, "field 'month' is not an integer")
errs(function() os.time({year = 2020, month = 1, day = 1.5}) end, "field 'day' is not an integer")
errs(function() os.time({year = 1 << 40, month = 1, day = 1}) end, "field 'year' is out-of-bound")
errs(function() os.date("%Ez") end, "invalid conversion specifier '%Ez'")
errs(function() os.date("%") end, "invalid conversion specifier '%'")
assert(os.date("!%H:%M", 3600 * 5 + 60 * 7) == "05:07" and os.date("!", 0) == "" and os.date("!%%", 0) == "%")
assert(#os.date("!" .. string.rep("%Y", 200), 0) == 800)
assert(os.date("!*t", 0).isdst == false and os.date("*t").month >= 1)
assert(math.type(os.time()) == "integer" and os.difftime(os.time(), os.time() - 10) >= 10)
errs(function() os.difftime(5) end, "bad argument #2 to 'difftime' (number expected, got no value)")
local c0 = os.clock()
assert(math.type(c0) == "float")
local last = c0
for _ = 1, 1000 do
  local c = os.clock()
  assert(c >= last)
  last = c
end
local spin = 0
while os.clock() - c0 < 0.01 do spin = spin + 1 end
assert(os.clock() - c0 >= 0.01)
if not _port then assert(type(os.getenv("PATH")) == "string") end   -- the platform has no environment
assert(os.getenv("SURELY_UNDEFINED_VARIABLE_NAME") == nil)

os.remove(name); os.remove(other)
print("OK files")
