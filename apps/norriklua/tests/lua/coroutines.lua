-- Coroutines: resume and yield in every direction, errors inside them, closing, wrapping.

local co = coroutine.create(function(a, b)
  local c = coroutine.yield(a + b)
  local d, e = coroutine.yield(c * 2)
  return d + e
end)
assert(coroutine.status(co) == "suspended")
assert(select(2, coroutine.resume(co, 1, 2)) == 3)
assert(select(2, coroutine.resume(co, 10)) == 20)
local ok, sum = coroutine.resume(co, 3, 4)
assert(ok and sum == 7 and coroutine.status(co) == "dead")
local again, message = coroutine.resume(co)
assert(not again and message == "cannot resume dead coroutine")

-- Generators.
local function range(n)
  return coroutine.wrap(function() for i = 1, n do coroutine.yield(i) end end)
end
local total = 0
for i in range(100) do total = total + i end
assert(total == 5050)

-- Errors inside a coroutine come back from resume; the coroutine is dead afterwards.
local failing = coroutine.create(function() local x = nil; return x.field end)
local ok2, err = coroutine.resume(failing)
assert(not ok2 and err:find("attempt to index a nil value") and coroutine.status(failing) == "dead")
assert(not pcall(coroutine.wrap(function() error("wrapped") end)))
local ok3, obj = coroutine.resume(coroutine.create(function() error({code = 7}) end))
assert(not ok3 and obj.code == 7)

-- Yielding across pcall, and errors after a yield inside pcall.
local inner = coroutine.create(function()
  local ok, e = pcall(function()
    coroutine.yield("from pcall")
    error("after yield")
  end)
  coroutine.yield(ok, e)
  return "done"
end)
assert(select(2, coroutine.resume(inner)) == "from pcall")
local _, ok4, e4 = coroutine.resume(inner)
assert(ok4 == false and e4:find("after yield"))
assert(select(2, coroutine.resume(inner)) == "done")

-- Yield across metamethods and table.sort's comparison is not allowed from C, but is
-- from Lua metamethods.
local mt = {__index = function(_, k) return coroutine.yield(k) end}
local meta = coroutine.wrap(function() local t = setmetatable({}, mt) return t.key .. "!" end)
assert(meta() == "key" and meta("value") == "value!")
local sorter = coroutine.wrap(function() table.sort({3, 2, 1}, function(a, b) coroutine.yield() return a < b end) end)
assert(not pcall(sorter))

-- Status, running, isyieldable, close.
local main, is_main = coroutine.running()
assert(is_main and not coroutine.isyieldable())
local status_inside
local watcher = coroutine.create(function()
  status_inside = coroutine.status(coroutine.running())
  assert(coroutine.isyieldable())
  coroutine.yield()
end)
coroutine.resume(watcher)
assert(status_inside == "running" and coroutine.status(watcher) == "suspended")
local closed_flag = false
local closable = coroutine.create(function()
  local x <close> = setmetatable({}, {__close = function() closed_flag = true end})
  coroutine.yield()
end)
coroutine.resume(closable)
assert(coroutine.close(closable) and closed_flag and coroutine.status(closable) == "dead")
assert(not coroutine.resume(main))

-- Many coroutines alive at once, each unwinding its own errors.
local crowd = {}
for i = 1, 2000 do
  crowd[i] = coroutine.create(function(n)
    for _ = 1, 3 do
      local ok = pcall(error, n)
      assert(not ok)
      n = coroutine.yield(n + 1)
    end
    error("end " .. n)
  end)
end
for round = 1, 4 do
  for i = 1, #crowd do
    local ok, v = coroutine.resume(crowd[i], i)
    if round < 4 then assert(ok and v == i + 1) else assert(not ok and v:find("end " .. i)) end
  end
end

-- Deeply nested coroutines.
local function nest(depth)
  if depth == 0 then return 0 end
  local c = coroutine.wrap(function() return nest(depth - 1) + 1 end)
  return c()
end
assert(nest(150) == 150)
