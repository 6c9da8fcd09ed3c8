-- The io library on files in the store: fopen's contract, reading formats, seeking,
-- default files, lines, closing; os.remove and os.rename.

local name = "io_test.txt"
os.remove(name)

-- "r" on a missing file fails as C's fopen does: nil, a message, a number.
local f, message, code = io.open(name, "r")
assert(f == nil and message:find(name, 1, true) and type(code) == "number")
assert(io.open(name, "r+") == nil)                   -- "r+" needs the file too
assert(not pcall(io.open, name, "rw"))               -- an invalid mode is an argument error

-- "w" creates (and truncates) at open, before anything is written.
f = assert(io.open(name, "w"))
assert(io.open(name, "r")):close()
assert(f:write("line one\n", 2, " ", 3.5, "\n", "last") == f)
assert(f:close())
assert(not pcall(f.write, f, "x") and tostring(f) == "file (closed)" and io.type(f) == "closed file")
f = assert(io.open(name, "w"))
f:close()
f = assert(io.open(name))
assert(f:read("a") == "")                            -- truncated by the second open
f:close()

-- Reading formats.
f = assert(io.open(name, "w"))
f:write("first line\n", "second\n", "42 3.5 0x10 -7e1\n", "no newline")
f:close()
f = assert(io.open(name, "r"))
assert(io.type(f) == "file")
assert(f:read("l") == "first line" and f:read("L") == "second\n")
local a, b, c, d = f:read("n", "n", "n", "n")
assert(a == 42 and math.type(a) == "integer" and b == 3.5 and c == 16 and d == -70.0)
assert(f:read("l") == "" and f:read(2) == "no" and f:read("a") == " newline")
assert(f:read("l") == nil and f:read("a") == "" and f:read(0) == nil)
assert(f:seek("set", 6) == 6 and f:read(4) == "line" and f:seek() == 10)
assert(f:seek("end") == 45 and f:seek("cur", -7) == 38 and f:read("a") == "newline")
assert(not pcall(f.write, f, "x") or select(2, f:write("x")) ~= nil)  -- read-only
f:close()
local lines = {}
for line in io.lines(name) do lines[#lines + 1] = line end
assert(#lines == 4 and lines[4] == "no newline")
for l1, n1 in io.lines(name, 1, "n") do assert(l1 == "f" and n1 == nil) break end
assert(not pcall(io.lines, "missing_file.txt"))

-- Appending keeps the old content and always writes at the end.
f = assert(io.open(name, "a"))
f:write("+more")
f:seek("set", 0)
f:write("+end")
f:close()
f = assert(io.open(name, "rb"))
assert(f:read("a"):sub(-19) == "no newline+more+end")
f:close()

-- "r+" and "w+" read and write the same file.
f = assert(io.open(name, "w+"))
f:write("hello world")
f:seek("set", 6)
f:write("WORLD")
f:seek("set", 0)
assert(f:read("a") == "hello WORLD")
f:close()
f = assert(io.open(name, "r+"))
f:write("J")
f:close()
assert(io.open(name):read("a") == "Jello WORLD")

-- "a+" reads from the start and writes at the end.
f = assert(io.open(name, "w"))
f:write("0123456789")
f:close()
f = assert(io.open(name, "a+"))
assert(f:seek("cur") == 0 and f:read(3) == "012")
f:seek("cur")
f:write("X")
f:seek("set", 1)
assert(f:read("a") == "123456789X")
f:close()

-- A seek that fails leaves the byte read(0) and read("n") looked at (and gave back) unread.
f = assert(io.open(name, "w"))
f:write("ABCDEF")
f:close()
for _, look in ipairs({0, "n"}) do
  f = assert(io.open(name))
  assert(f:read(look) == (look == 0 and "" or nil))
  assert(f:seek("set", -1) == nil and f:read(2) == "AB" and f:seek("cur") == 2)
  f:close()
end

-- What a new handle sees: unbuffered writes at once, line-buffered ones at each line end,
-- fully buffered ones after flush and close.
f = assert(io.open(name, "w"))
assert(f:setvbuf("no"))
f:write("xyz")
assert(io.open(name):read("a") == "xyz")
f:close()
f = assert(io.open(name, "w"))
assert(f:setvbuf("line"))
f:write("one\n")
assert(io.open(name):read("a") == "one\n")
f:close()
f = assert(io.open(name, "w"))
assert(f:setvbuf("full", 1024))
f:write(("x"):rep(100))
assert(f:flush() and io.open(name):read("a") == ("x"):rep(100))
f:write("tail")
f:close()
assert(io.open(name):read("a") == ("x"):rep(100) .. "tail")

-- read("n") reads what the lexer reads.
f = assert(io.open(name, "w"))
f:write("18446744073709551616.5 0x1p4294967296 2.4703282292062327209e-324")
f:close()
f = assert(io.open(name))
assert(f:read("n") == 2^64 and f:read("n") == math.huge and f:read("n") == 0x1p-1074)
f:close()

-- Binary content, big content, and many files at once.
local bytes = {}
for i = 0, 255 do bytes[#bytes + 1] = string.char(i) end
local binary = table.concat(bytes):rep(100)
f = assert(io.open(name, "wb"))
f:write(binary)
f:close()
f = io.open(name, "rb")
assert(f:read("a") == binary)
f:close()
local handles = {}
for i = 1, 50 do
  handles[i] = assert(io.open("io_many_" .. i, "w"))
  handles[i]:write(i)
end
for i = 1, 50 do handles[i]:close() end
for i = 1, 50 do
  assert(io.open("io_many_" .. i):read("n") == i)
  assert(os.remove("io_many_" .. i))
end

-- Default input and output files.
io.output(name)
io.write("via default ", 1, "\n")
io.close()
io.output(io.stdout)
io.input(name)
assert(io.read("l") == "via default 1")
io.close(io.input())
io.input(io.stdin)
assert(io.type(io.stdout) == "file" and io.stdout:write("") == io.stdout)

-- Temporary files vanish when closed.
local tmp = io.tmpfile()
tmp:write("scratch")
tmp:seek("set")
assert(tmp:read("a") == "scratch")
tmp:close()

-- Renaming and removing.
local other = "io_test_renamed.txt"
os.remove(other)
assert(os.rename(name, other))
assert(io.open(name) == nil and io.open(other))
local ok, msg = os.remove(name)
assert(ok == nil and type(msg) == "string")
assert(os.remove(other) == true)
local rn, rmsg = os.rename("io_missing_file", "io_whatever")
assert(rn == nil and rmsg)

-- Files that become garbage are closed (and stored) by the collector.
do
  local g = io.open(name, "w")
  g:write("collected")
end
collectgarbage()
collectgarbage()
assert(io.open(name):read("a") == "collected")
os.remove(name)
