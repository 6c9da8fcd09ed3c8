-- The garbage collector: collectgarbage's options, incremental and generational modes,
-- weak tables of every kind, ephemerons, finalizers (order, resurrection, at close),
-- and memory returning to its baseline after heavy allocation.

local function errs(f, what)
  local ok, err = pcall(f)
  assert(not ok and err:find(what, 1, true), err)
end
local function full() collectgarbage(); collectgarbage() end

-- Options and their results.
full()
local kb = collectgarbage("count")
assert(math.type(kb) == "float" and kb > 0)
assert(collectgarbage("isrunning") == true)
collectgarbage("stop")
assert(collectgarbage("isrunning") == false)
local hold = {}
for i = 1, 20000 do hold[i] = {i} end
assert(collectgarbage("count") > kb + 100)   -- nothing is collected while stopped
collectgarbage("restart")
assert(collectgarbage("isrunning") == true)
hold = nil
full()
assert(collectgarbage("count") < kb + 100)
assert(collectgarbage() == 0 and collectgarbage("collect") == 0)
local initial = collectgarbage("incremental")   -- the standalone interpreter starts generational
assert(initial == "incremental" or initial == "generational")
assert(collectgarbage("generational") == "incremental")
assert(collectgarbage("incremental") == "generational")
assert(collectgarbage("incremental", 200, 100, 13) == "incremental")
assert(collectgarbage("generational", 20, 100) == "incremental" and collectgarbage(initial) == "generational")
collectgarbage("incremental")
local done = false
for _ = 1, 100000 do if collectgarbage("step", 0) then done = true break end end
assert(done)
assert(collectgarbage("step", 1000000) == true)
local old = collectgarbage("setpause", 160)   -- stored in quarters
assert(math.type(old) == "integer" and collectgarbage("setpause", old) == 160)
old = collectgarbage("setstepmul", 400)
assert(collectgarbage("setstepmul", old) == 400)
errs(function() collectgarbage("nonsense") end, "bad argument #1 to 'collectgarbage' (invalid option 'nonsense')")

-- Weak tables.
local weakk = setmetatable({}, {__mode = "k"})
local weakv = setmetatable({}, {__mode = "v"})
local weakkv = setmetatable({}, {__mode = "kv"})
local keep = {}
-- Objects are made in functions so that no dead register of this chunk holds them.
local function fill()
  for i = 1, 100 do
    local k, v = {}, {}
    weakk[k] = i; weakv[i] = v; weakkv[k] = v
    if i % 10 == 0 then keep[#keep + 1] = k; keep[#keep + 1] = v end
  end
end
fill()
weakv[1000] = "string"; weakv[1001] = 42; weakk["strkey"] = 1; weakv[1002] = print
full()
local function count(t) local n = 0 for _ in pairs(t) do n = n + 1 end return n end
assert(count(weakk) == 11 and weakk.strkey == 1)       -- strings are values, never collected
assert(count(weakv) == 13 and weakv[1000] == "string" and weakv[1001] == 42 and weakv[1002] == print)
assert(count(weakkv) == 10)   -- only pairs with both sides alive stay
for i = 10, 100, 10 do assert(weakv[i] ~= nil) end
keep = nil
full()
assert(count(weakk) == 1 and count(weakv) == 3 and count(weakkv) == 0)
-- Ephemerons: a value referring to its own key does not keep the key alive.
local eph = setmetatable({}, {__mode = "k"})
local function chain()
  local chainkey = {}
  for i = 1, 50 do
    local k = {}
    eph[k] = {ref = k, prev = chainkey}
    chainkey = k
  end
end
chain()
full()
assert(next(eph) == nil)
-- A key kept alive keeps its value.
local alive = {}
eph[alive] = {alive}
full()
assert(eph[alive][1] == alive)

-- Finalizers: run once, in reverse order of marking, with resurrection.
local order = {}
local function five() for i = 1, 5 do setmetatable({}, {__gc = function() order[#order + 1] = i end}) end end
five()
full()
assert(table.concat(order) == "54321", table.concat(order))
local resurrected
local function phoenix() setmetatable({name = "phoenix"}, {__gc = function(o) resurrected = o end}) end
phoenix()
full()
assert(resurrected and resurrected.name == "phoenix")
local runs = 0
setmetatable(resurrected, {__gc = function() runs = runs + 1 end})   -- finalized objects may get a new finalizer
resurrected = nil
full()
assert(runs == 1)
-- __gc set after setmetatable is not a finalizer; one present at setmetatable is.
local mt = {}
local late = 0
local function plain() setmetatable({}, mt) end
plain()
mt.__gc = function() late = late + 1 end
full()
assert(late == 0)
-- Weak values are cleared before finalizers run; weak keys of finalized objects after.
local wv = setmetatable({}, {__mode = "v"})
local wk = setmetatable({}, {__mode = "k"})
local seenv, seenk
local function both()
  local o = setmetatable({}, {__gc = function(o) seenv = wv[1]; seenk = wk[o] end})
  wv[1] = o; wk[o] = "there"
end
both()
full()
assert(seenv == nil and seenk == "there")
-- Finalizers may allocate, collect and error (errors become warnings).
warn("@off")
local ok = 0
setmetatable({}, {__gc = function() local t = {} for i = 1, 1000 do t[i] = {} end ok = ok + 1 end})
setmetatable({}, {__gc = function() error("finalizer error") end})
setmetatable({}, {__gc = function() collectgarbage("step") ok = ok + 1 end})
full()
warn("@on")
assert(ok == 2)
-- Userdata-like objects: a coroutine and closures are collected too.
local wc = setmetatable({}, {__mode = "k"})
local function threadsandclosures()
  wc[coroutine.create(function() coroutine.yield() end)] = true
  wc[function() return wc end] = true
end
threadsandclosures()
full()
assert(next(wc) == nil)

-- Heavy allocation in both modes returns to the baseline.
for _, mode in ipairs({"incremental", "generational", "incremental"}) do
  collectgarbage(mode)
  full()
  local base = collectgarbage("count")
  local n = _soft and 50000 or 200000
  local function churn()
    local t = {}
    for i = 1, n do t[i] = {tostring(i), i * 1.5, {}} end
    local s = {}
    for i = 1, n // 10 do s[#s + 1] = string.rep("x", i % 200) .. i end
    local joined = table.concat(s)
    assert(#joined > n)
  end
  churn()
  -- The string table shrinks by half per cycle: collect until the count settles.
  local last
  repeat last = collectgarbage("count"); collectgarbage() until collectgarbage("count") >= last
  assert(collectgarbage("count") < base * 1.1 + 50, mode .. " " .. collectgarbage("count") .. " " .. base)
end
-- Garbage made in a tight loop never accumulates without bound.
local peak = 0
for i = 1, 200000 do
  local _ = {i, tostring(i)}
  if i % 20000 == 0 then peak = math.max(peak, collectgarbage("count")) end
end
assert(peak < kb + 20000, peak)
-- Strings: a long string referenced only from a weak table is collected.
local ws = setmetatable({}, {__mode = "k"})
local function longstring() ws[{}] = string.rep("a", 1000000) end
longstring()
full()
assert(next(ws) == nil and collectgarbage("count") < kb + 600)

print("OK garbage")
