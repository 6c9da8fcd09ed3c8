-- The limits: Lua's own stack limit ends in a clean "stack overflow" error, C-level
-- recursion limits hold, and the program goes on normally afterwards.

local function infinite(n) return 1 + infinite(n + 1) end
for round = 1, 3 do
  local ok, err = pcall(infinite, 1)
  assert(not ok and err:find("stack overflow"), err)
end

local depth = 0
local function count() depth = depth + 1; count() end
local ok, err = pcall(count)
assert(not ok and err:find("stack overflow") and depth > 10000, depth)

-- Recursion through a metamethod and through C (string.gsub calling back into Lua).
local loop = setmetatable({}, {})
getmetatable(loop).__index = function(t, k) return t[k] end
assert(not pcall(function() return loop.x end))
local function viagsub(s) return (s:gsub(".", viagsub)) end
local ok2, err2 = pcall(viagsub, "ab")
assert(not ok2 and (err2:find("stack overflow") or err2:find("C stack overflow")), err2)

-- Deep but legal recursion still works after the overflows.
local function sum(n) if n == 0 then return 0 end return n + sum(n - 1) end
assert(sum(10000) == 50005000)
local function tail(n) if n == 0 then return "done" end return tail(n - 1) end
assert(tail(1000000) == "done")

-- A coroutine that overflows its stack dies alone.
local co = coroutine.create(infinite)
local ok3, err3 = coroutine.resume(co, 1)
assert(not ok3 and err3:find("stack overflow") and coroutine.status(co) == "dead")

-- Errors while handling errors end in a clean error too.
local ok4, err4 = xpcall(infinite, function(e) return infinite(1) end, 1)
assert(not ok4)

-- Many long strings and big tables: allocation and reallocation under load.
local parts = {}
for i = 1, 20000 do parts[i] = string.rep("x", i % 100) .. i end
local joined = table.concat(parts)
assert(#joined > 1000000)
local deep = {}
local node = deep
for _ = 1, 100000 do node.next = {} node = node.next end
local n = 0
node = deep
while node.next do n = n + 1 node = node.next end
assert(n == 100000)
-- Parsing limits: deeply nested expressions fail with a message, not a crash.
local okp, errp = load("return " .. string.rep("(", 1000) .. "1" .. string.rep(")", 1000))
assert(not okp and errp:find("overflow") or okp)
local okc = load(string.rep("do ", 300) .. string.rep("end ", 300))
assert(okc == nil or type(okc) == "function")
