-- Error handling: error objects and levels, pcall/xpcall with handlers and tracebacks,
-- errors in __gc and __close, to-be-closed variables, deep pcall nesting, and the clean
-- "stack overflow" errors (Lua stack and C stack) with recovery afterwards.

local function errs(f, what)
  local ok, err = pcall(f)
  assert(not ok and err:find(what, 1, true), err)
end

-- Levels: 1 is the function calling error, 2 its caller, 0 no position.
local function at(level) error("msg", level) end
local function caller(level) at(level) end   -- line of the call below is reported at level 2
local line_at = debug.getinfo(at, "S").linedefined
local _, e1 = pcall(at, 1)
assert(e1:match(":(%d+): msg$") == tostring(line_at), e1)
local _, e2 = pcall(caller, 2)
assert(e2:match(":(%d+): msg$") == tostring(debug.getinfo(caller, "S").linedefined), e2)
local _, e0 = pcall(at, 0)
assert(e0 == "msg")
local _, e3 = pcall(caller, 3)
assert(e3 == "msg")   -- level 3 is pcall itself, a C function: no position
-- Non-string error values never get positions.
for _, v in ipairs({42, 4.5, true, {}, print}) do
  local okv, ev = pcall(error, v, 1)
  assert(not okv and ev == v)
end
local okn, en = pcall(error)
assert(not okn and en == nil)

-- Runtime error messages name the culprit.
local function message(f) return select(2, pcall(f)) end
local up = nil
assert(message(function() return up.x end):find("attempt to index a nil value (upvalue 'up')", 1, true))
assert(message(function() local a = {} return a.b.c end):find("attempt to index a nil value (field 'b')", 1, true))
assert(message(function() return math.nope() end):find("attempt to call a nil value (field 'nope')", 1, true))
assert(message(function() local s = "x" return s:nope() end):find("attempt to call a nil value (method 'nope')", 1, true))
assert(message(function() return -{} end):find("attempt to perform arithmetic on a table value", 1, true))
assert(message(function() local t = {} return t < t end):find("attempt to compare two table values", 1, true))
assert(message(function() return 1 < {} end):find("attempt to compare number with table", 1, true))
assert(message(function() return ~1.5 end):find("number has no integer representation", 1, true))
assert(message(function() local a = "a" return a & 1 end):find("attempt to perform bitwise operation on a string value (local 'a')", 1, true))
assert(message(function() for i = 1, 10, 0 do end end):find("'for' step is zero", 1, true))
assert(message(function() for i = "a", 2 do end end):find("'for' initial value (number expected, got string)", 1, true))
assert(message(function() setmetatable({}, {__index = 1}).x = nil; return setmetatable({}, {__index = 1}).x end)
  :find("attempt to index a number value", 1, true))

-- xpcall: the handler runs at the error point, gets the original object and may return anything.
local function handler(m) return {original = m, trace = debug.traceback("handled", 1)} end
local function thrower() error("inside") end
local okx, hx = xpcall(thrower, handler)
assert(not okx and hx.original:find("inside") and hx.trace:find("^handled\nstack traceback:") and hx.trace:find("in function 'error'"))
local okargs, a1, a2 = xpcall(function(a, b) return a + b, a * b end, print, 3, 4)
assert(okargs and a1 == 7 and a2 == 12)
local okt, tr = xpcall(thrower, debug.traceback)
assert(not okt and tr:find("^[^\n]*inside\nstack traceback:\n") and tr:find("in function 'error'") and tr:find("in function 'xpcall'"))
-- An error in the handler itself ends in a clean error object.
local okh, eh = xpcall(thrower, function() error("handler broke") end)
assert(not okh and eh == "error in error handling", eh)
local okr, er = xpcall(thrower, function(m) local x = nil; return x.y end)
assert(not okr and er == "error in error handling", er)
errs(function() xpcall(thrower) end, "bad argument #2 to 'xpcall' (function expected, got no value)")
-- pcall of a non-function reports the call error.
local okc, ec = pcall(42)
assert(not okc and ec:find("attempt to call a number value"))

-- error with __tostring objects and tostring conversion by the prompt-like handler.
local E = setmetatable({}, {__tostring = function() return "E!" end})
local _, eo = pcall(error, E)
assert(eo == E and tostring(eo) == "E!")

-- To-be-closed variables: order, error values passed, errors in __close.
local log = {}
local function closer(name) return setmetatable({}, {__close = function(_, err) log[#log + 1] = name .. ":" .. tostring(err) end}) end
do
  local a <close> = closer("a")
  local b <close> = closer("b")
  local c <close> = nil        -- nil and false are allowed and ignored
  local d <close> = false
end
assert(table.concat(log, " ") == "b:nil a:nil")
log = {}
local okb, eb = pcall(function()
  local a <close> = closer("a")
  local b <close> = closer("b")
  error("E")
end)
assert(not okb and eb:find("E$") and log[1]:find("^b:.*E$") and log[2]:find("^a:.*E$"))
log = {}
local okcl, ecl = pcall(function()
  local a <close> = closer("a")
  local b <close> = setmetatable({}, {__close = function() error("close failed") end})
  return "normal"
end)
assert(not okcl and ecl:find("close failed") and log[1]:find("close failed"))   -- a sees b's error
errs(function() local x <close> = {} end, "variable 'x' got a non-closable value")
errs(function() local x <close> = 42 end, "variable 'x' got a non-closable value")
-- Returns through a closed scope keep their values; loops close each iteration.
local function ret() local a <close> = closer("r"); return 1, 2, 3 end
log = {}
assert(select("#", ret()) == 3 and log[1] == "r:nil")
log = {}
for i = 1, 3 do local x <close> = closer("i" .. i) end
assert(table.concat(log, " ") == "i1:nil i2:nil i3:nil")
-- The generic for closes its fourth value on break and on error.
log = {}
for i in function(_, i) i = i + 1 if i <= 5 then return i end end, nil, 0, closer("for") do
  if i == 2 then break end
end
assert(log[1] == "for:nil")
log = {}
pcall(function() for _ in function() error("iter") end, nil, nil, closer("for2") do end end)
assert(log[1]:find("^for2:.*iter"))
-- goto out of a block closes it.
log = {}
do
  local x <close> = closer("goto")
  goto out
end
::out::
assert(log[1] == "goto:nil")

-- Errors in finalizers become warnings and never reach the program.
warn("@off")
local gcran = false
setmetatable({}, {__gc = function() gcran = true; error("in gc") end})
collectgarbage(); collectgarbage()
assert(gcran)
warn("@on")

-- Deep pcall nesting.
local function nestp(n)
  if n == 0 then error("bottom") end
  local ok, e = pcall(nestp, n - 1)
  assert(not ok)
  error(e, 0)
end
local okd, ed = pcall(nestp, 150)
assert(not okd and ed:find("bottom"))
local depth = 0
local function pdeep(n) depth = n; if n < 180 then return pcall(pdeep, n + 1) end return true end
assert(pdeep(1) and depth == 180)
local okcs, ecs = pcall(function() local function inf() return pcall(inf) end return inf() end)
assert(okcs == true and ecs == true)   -- the innermost pcall caught the C stack limit
local function pinf(n) local ok, e = pcall(pinf, n + 1) if not ok then error(e, 0) end end
local okpi, epi = pcall(pinf, 0)
assert(not okpi and epi:find("C stack overflow$"), epi)

-- Stack overflow in Lua code: a clean error, repeatable, with recovery.
local function rec(n) return rec(n + 1) + 1 end
for _ = 1, 3 do
  local oks, es = pcall(rec, 0)
  assert(not oks and es:find("stack overflow"), es)
end
local okm, em = xpcall(rec, function(m) return "H:" .. m end, 0)
assert(not okm and em:find("^H:.*stack overflow"), em)
-- C-stack overflows: recursion through gsub, through tostring of nested tables, through
-- __index functions and through nested coroutines.
local function viagsub(s) return (string.gsub(s, ".", viagsub)) end
local okg, eg = pcall(viagsub, "x")
assert(not okg and eg:find("stack overflow"), eg)
local nested = {}
local mt = {__tostring = function(t) return "[" .. (t.inner and tostring(t.inner) or "") .. "]" end}
local node = setmetatable(nested, mt)
for _ = 1, 100000 do node.inner = setmetatable({}, mt); node = node.inner end
local okts, ets = pcall(tostring, nested)
assert(not okts and ets:find("stack overflow"), ets)
local loop = setmetatable({}, {__index = function(t, k) return t[k .. "x"] end})
local oki, ei = pcall(function() return loop.a end)
assert(not oki and ei:find("stack overflow"), ei)
-- After all overflows, normal recursion and allocation work.
local function sum(n) if n == 0 then return 0 end return n + sum(n - 1) end
assert(sum(5000) == 12502500 and #string.rep("x", 1000000) == 1000000)
local okfinal, efinal = pcall(rec, 0)
assert(not okfinal and efinal:find("stack overflow"))

print("OK errorlib")
