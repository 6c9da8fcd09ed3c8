-- Coroutines: passing values both ways, wrap, status in every state, yield across pcall
-- and metamethods, close with pending to-be-closed variables, errors and tracebacks.

local function errs(f, what)
  local ok, err = pcall(f)
  assert(not ok and err:find(what, 1, true), err)
end

-- Values in and out, including none and many.
local co = coroutine.create(function(...)
  assert(select("#", ...) == 0)
  local a, b, c = coroutine.yield()
  assert(a == 1 and b == nil and c == 3)
  local packed = table.pack(coroutine.yield(table.unpack({}, 1, 250)))
  assert(packed.n == 2)
  return "end", nil, "x"
end)
assert(select("#", coroutine.resume(co)) == 1)
assert(select("#", coroutine.resume(co, 1, nil, 3)) == 251)
local r = table.pack(coroutine.resume(co, "p", "q"))
assert(r.n == 4 and r[1] == true and r[2] == "end" and r[4] == "x")

-- Status in every state, running, isyieldable.
local main, ismain = coroutine.running()
assert(type(main) == "thread" and ismain and coroutine.status(main) == "running")
local outer
outer = coroutine.create(function()
  local inner = coroutine.create(function()
    assert(coroutine.status(outer) == "normal" and coroutine.status(coroutine.running()) == "running")
    assert(coroutine.isyieldable() and select(2, coroutine.running()) == false)
    coroutine.yield(1)
  end)
  assert(coroutine.status(inner) == "suspended")
  coroutine.resume(inner)
  assert(coroutine.status(inner) == "suspended")
  assert(select(2, coroutine.resume(outer)) == "cannot resume non-suspended coroutine")
  return coroutine.resume(main)
end)
local ok, rok, rerr = coroutine.resume(outer)
assert(ok and rok == false and rerr == "cannot resume non-suspended coroutine")
assert(coroutine.status(outer) == "dead" and not coroutine.isyieldable())
errs(function() coroutine.yield() end, "attempt to yield from outside a coroutine")
errs(function() coroutine.status(1) end, "bad argument #1 to 'status' (thread expected, got number)")
errs(function() coroutine.create(1) end, "bad argument #1 to 'create' (function expected, got number)")

-- wrap: values, errors with positions, dead coroutines.
local gen = coroutine.wrap(function(a) local b = coroutine.yield(a + 1); return b * 2 end)
assert(gen(1) == 2 and gen(10) == 20)
errs(gen, "cannot resume dead coroutine")
local w = coroutine.wrap(function() error("boom") end)
local _, msg = pcall(w)
assert(msg:find("^[^:]+:%d+: boom$"), msg)
local wt = coroutine.wrap(function() error({code = 1}) end)
local _, obj = pcall(wt)
assert(type(obj) == "table" and obj.code == 1)
-- Generators nested in generators.
local function perms(a, n)
  n = n or #a
  if n <= 1 then coroutine.yield(a) else
    for i = 1, n do
      a[n], a[i] = a[i], a[n]
      perms(a, n - 1)
      a[n], a[i] = a[i], a[n]
    end
  end
end
local count, seen = 0, {}
for p in coroutine.wrap(function() perms({1, 2, 3, 4}) end) do
  local key = table.concat(p)
  assert(not seen[key])
  seen[key] = true
  count = count + 1
end
assert(count == 24)

-- Yield across pcall, xpcall, metamethods, iterators and table.sort (the last is not allowed).
local y = coroutine.wrap(function()
  local ok1, v = pcall(function() return coroutine.yield("in pcall") + 1 end)
  local ok2, e = xpcall(function() coroutine.yield("in xpcall"); error("after") end, function(m) return "handled: " .. m end)
  local t = setmetatable({}, {__add = function(_, b) return coroutine.yield("in __add") + b end,
    __index = function(_, k) return coroutine.yield("in __index") end,
    __lt = function() return coroutine.yield("in __lt") end,
    __concat = function() return coroutine.yield("in __concat") end,
    __eq = function() return coroutine.yield("in __eq") end,
    __call = function(_, a) return coroutine.yield("in __call") .. a end})
  local sum = t + 5
  local idx = t.field
  local lt = t < t
  local cat = t .. "x"
  local eq = t == setmetatable({}, getmetatable(t))
  local called = t("!")
  for i in function(_, i) i = (i or 0) + 1; if i <= 2 then return coroutine.yield("in iterator") end end do end
  return ok1, v, ok2, e, sum, idx, lt, cat, eq, called
end)
assert(y() == "in pcall" and y(41) == "in xpcall" and y() == "in __add" and y(10) == "in __index")
assert(y("v") == "in __lt" and y(true) == "in __concat" and y("cat") == "in __eq" and y(1) == "in __call")
assert(y("called") == "in iterator" and y(1) == "in iterator")
local ok1, v, ok2, e, sum, idx, lt, cat, eq, called = y(nil)
assert(ok1 and v == 42 and not ok2 and e:find("handled: .*after") and sum == 15 and idx == "v")
assert(lt == true and cat == "cat" and eq == true and called == "called!")
local s = coroutine.wrap(function() table.sort({3, 2, 1}, function(a, b) coroutine.yield() return a < b end) end)
errs(s, "attempt to yield across a C-call boundary")
local g = coroutine.wrap(function() return string.gsub("a", "a", function() coroutine.yield() end) end)
errs(g, "attempt to yield across a C-call boundary")

-- Errors inside coroutines: status, tracebacks of the dead coroutine.
local function lvl3() error("deep error") end
local function lvl2() lvl3() end
local bad = coroutine.create(function() lvl2() end)
local okb, eb = coroutine.resume(bad)
assert(not okb and eb:find("deep error") and coroutine.status(bad) == "dead")
local tb = debug.traceback(bad)
assert(tb:find("lvl3") and tb:find("lvl2"), tb)
local okc, ec = coroutine.resume(bad)
assert(not okc and ec == "cannot resume dead coroutine")
-- An error object passes through resume unchanged, also nil.
local okn, en = coroutine.resume(coroutine.create(function() error(nil) end))
assert(okn == false and en == nil)

-- close: suspended, dead with an error, running, and __close handlers.
local order = {}
local cl = coroutine.create(function()
  local a <close> = setmetatable({}, {__close = function(_, err) order[#order + 1] = "a:" .. tostring(err) end})
  local b <close> = setmetatable({}, {__close = function(_, err) order[#order + 1] = "b:" .. tostring(err) end})
  coroutine.yield()
end)
coroutine.resume(cl)
assert(coroutine.close(cl) == true and table.concat(order, " ") == "b:nil a:nil" and coroutine.status(cl) == "dead")
assert(coroutine.close(cl) == true)
local dead = coroutine.create(function() error("x") end)
coroutine.resume(dead)
local okd, ed = coroutine.close(dead)
assert(okd == false and ed:find("x"))
local failing = coroutine.create(function()
  local c <close> = setmetatable({}, {__close = function() error("in close") end})
  coroutine.yield()
end)
coroutine.resume(failing)
local okf, ef = coroutine.close(failing)
assert(okf == false and ef:find("in close"))
assert(coroutine.close(coroutine.create(print)) == true)
errs(function() coroutine.close(coroutine.running()) end, "cannot close a running coroutine")
local parent = coroutine.wrap(function()
  local child = coroutine.running()
  local other = coroutine.create(function() return coroutine.close(child) end)
  return coroutine.resume(other)
end)
local okp, ep = parent()
assert(okp == false and ep:find("cannot close a normal coroutine"))

-- Many coroutines alive at once, each with its own stack depth.
local threads = {}
local function depth(n) if n == 0 then return coroutine.yield(0) + 1 end return depth(n - 1) + 1 end
for i = 1, 500 do
  threads[i] = coroutine.create(depth)
  assert(coroutine.resume(threads[i], i % 50))
end
for i = 1, 500 do
  local okt, res = coroutine.resume(threads[i], i)
  assert(okt and res == i + 1 + i % 50)
end
-- A coroutine resuming itself through a chain ends in an error, not a crash.
local chain
chain = coroutine.wrap(function() return chain() end)
errs(chain, "cannot resume non-suspended coroutine")
-- Deep resume nesting is limited with a clean error.
local function nest(n)
  if n == 0 then return 0 end
  return select(2, assert(coroutine.resume(coroutine.create(nest), n - 1))) + 1
end
assert(nest(100) == 100)
local okdeep, edeep = pcall(nest, 1000000)
assert(not okdeep and edeep:find("C stack overflow$"), edeep)
assert(nest(50) == 50)

print("OK threads")
