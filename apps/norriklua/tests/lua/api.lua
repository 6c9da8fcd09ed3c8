-- What the C API offers, as seen from Lua: load with readers, environments and modes,
-- string.dump and binary chunks, _ENV, package and require, select and type checks,
-- and the limits on results and arguments.

local function errs(f, what)
  local ok, err = pcall(f)
  assert(not ok and err:find(what, 1, true), err)
end

-- load from strings and from reader functions, in pieces of every size.
assert(load("return 1 + 1")() == 2)
local src = "local a = ... return a * 2, 'done'"
for size = 1, 7 do
  local pos = 1
  local f = load(function()
    local piece = src:sub(pos, pos + size - 1)
    pos = pos + size
    return piece
  end)
  local v, d = f(21)
  assert(v == 42 and d == "done")
end
local pieces = {"return ", "", "'x'"}   -- an empty piece ends the chunk
local i = 0
local f = load(function() i = i + 1; return pieces[i] end)
assert(f() == nil)
local okr, er = load(function() return {} end)
assert(okr == nil and er:find("reader function must return a string"))
local okn = load(function() return nil end)
assert(okn() == nil)                                 -- an empty chunk
errs(function() load() end, "bad argument #1 to 'load' (function expected, got no value)")
local nf, nerr = load("return +", "=named")
assert(nf == nil and nerr:find("^named:1:"))

-- Environments: the fourth argument is the chunk's _ENV; _ENV is an ordinary upvalue.
local env = {y = 5}
local g = load("x = y * 2; return x", "env", "t", env)
assert(g() == 10 and env.x == 10 and rawget(_G, "x") == nil)
local h = load("return _ENV", "e", "t", nil)
assert(h() == nil)
local function sandbox()
  local _ENV = {print = "fake"}
  return print
end
assert(sandbox() == "fake")
do
  local _ENV = setmetatable({}, {__index = _G})
  newglobal = 1
  assert(newglobal == 1 and _G.newglobal == nil)
end
local upname, upval = debug.getupvalue(g, 1)
assert(upname == "_ENV" and upval == env)
debug.setupvalue(g, 1, {y = 50})
assert(g() == 100)

-- Modes.
local dumped = string.dump(function(a) return a + 1 end)
assert(dumped:sub(1, 4) == "\27Lua")
assert(load(dumped, "d", "b")(1) == 2 and load(dumped)(2) == 3)
local nb, eb = load(dumped, "d", "t")
assert(nb == nil and eb:find("attempt to load a binary chunk (mode is 't')", 1, true))
local nt, et = load("return 1", "d", "b")
assert(nt == nil and et:find("attempt to load a text chunk (mode is 'b')", 1, true))
local nx, ex = load("return 1", "d", "x")
assert(nx == nil and ex:find("attempt to load a text chunk (mode is 'x')", 1, true))

-- string.dump: upvalues come back fresh (only the first is set), strip removes debug data.
local function withlines(a)
  local b = a * 2
  if b > 100 then error("too big") end
  return b
end
local copy = load(string.dump(withlines))
assert(copy(4) == 8)
local _, e1 = pcall(copy, 100)
assert(e1:find(":%d+: too big$"), e1)
local stripped = load(string.dump(withlines, true))
assert(stripped(4) == 8)
local _, e2 = pcall(stripped, 100)
assert(e2 == "too big", e2)   -- no line information, so no position
assert(#string.dump(withlines, true) < #string.dump(withlines))
local counter = 0
local function uses() counter = counter + 1; return counter end
local loaded = load(string.dump(uses))
local upn, upv = debug.getupvalue(loaded, 1)
assert(upn == "counter" and upv == _G)   -- load gives the first upvalue the globals, whatever its name
errs(loaded, "attempt to perform arithmetic on a table value (upvalue 'counter')")
local two = load(string.dump(function() return counter, uses end))
assert(select(2, debug.getupvalue(two, 2)) == nil)
errs(function() string.dump(print) end, "unable to dump given function")
-- Dumped chunks keep constants of every type, nested functions and varargs.
local rich = string.dump(function(...)
  local t = {1, 2.5, "s", true, math.maxinteger, -0.0, 2^-1074, ("x"):rep(300)}
  local inner = function(k) return t[k] end
  return inner(8), select("#", ...), inner(5), 1 / inner(6)
end)
local r1, r2, r3, r4 = load(rich)(1, 2, 3)
assert(#r1 == 300 and r2 == 3 and r3 == math.maxinteger and r4 == -math.huge)
-- A damaged binary chunk is refused, not run.
local bad = dumped:sub(1, 20)
local nd, ed = load(bad, "bad", "b")
assert(nd == nil and ed == "bad: bad binary format (truncated chunk)", ed)
local nh, eh = load("\27Lux" .. dumped:sub(5), "hdr", "b")
assert(nh == nil and eh == "hdr: bad binary format (not a binary chunk)", eh)

-- package and require through preload and custom searchers.
assert(type(package.loaded) == "table" and package.loaded.string == string and package.loaded._G == _G)
assert(type(package.path) == "string" and type(package.searchers) == "table" and #package.searchers >= 2)
assert(package.config:sub(1, 1) == "/" or package.config:sub(1, 1) == "\\")
package.preload.mymod = function(name, extra) return {name = name, extra = extra} end
local m = require("mymod")
assert(m.name == "mymod" and m.extra == ":preload:" and require("mymod") == m and package.loaded.mymod == m)
package.preload.nilmod = function() end
assert(require("nilmod") == true and package.loaded.nilmod == true)
table.insert(package.searchers, 2, function(name)
  if name == "virtual" then return function(n, x) return "virtual:" .. n .. ":" .. x end, "xdata" end
  return "\n\tno virtual module '" .. name .. "'"
end)
assert(require("virtual") == "virtual:virtual:xdata")
local okm, em = pcall(require, "surely_missing_module")
assert(not okm and em:find("module 'surely_missing_module' not found") and em:find("no virtual module"), em)
package.preload.failing = function() error("module body failed") end
local okf, ef = pcall(require, "failing")
assert(not okf and ef:find("module body failed") and package.loaded.failing == nil)
assert(package.searchpath("nothing.here", "./?.lua;./?/init.lua") == nil)
local _, serr = package.searchpath("a.b", "./?.lua")
assert(serr:find("no file './a/b.lua'", 1, true), serr)

-- select, type and the argument checks of the base library.
assert(select("#") == 0 and select("#", nil, nil, nil) == 3 and select(-2, "a", "b", "c") == "b")
assert(type(nil) == "nil" and type(1) == "number" and type("") == "string" and type({}) == "table")
assert(type(print) == "function" and type(coroutine.create(print)) == "thread" and type(io.stdout) == "userdata")
errs(function() type() end, "bad argument #1 to 'type' (value expected)")
assert(math.type(1) == "integer" and math.type(1.0) == "float" and math.type("1") == nil)
errs(function() math.type() end, "bad argument #1 to 'type' (value expected)")
-- Many results and arguments: the stack grows as needed, with a clean error at the limit.
local function manyresults(n) return table.unpack({}, 1, n) end
assert(select("#", manyresults(100000)) == 100000)
local okbig, ebig = pcall(manyresults, 10000000)
assert(not okbig and ebig:find("too many results"), ebig)
local tbl = {}
for k = 1, 50000 do tbl[k] = k end
assert(math.max(table.unpack(tbl)) == 50000 and select("#", string.byte(("x"):rep(50000), 1, -1)) == 50000)
errs(function() string.byte(("x"):rep(2000000), 1, -1) end, "string slice too long")
errs(function() string.rep("x", -1, {}) end, "bad argument #3 to 'rep' (string expected, got table)")
assert(tostring(1e15) == "1e+15" and tonumber("  0x1F  ") == 31)
-- collectgarbage("count") and the version.
assert(_VERSION == "Lua 5.4")

print("OK api")
