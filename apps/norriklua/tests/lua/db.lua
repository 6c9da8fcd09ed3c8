-- The debug library: getinfo fields and options, getlocal/setlocal (also varargs and
-- other coroutines), upvalues and their identity, hooks (call, return, line, count),
-- traceback formats, metatables and user values.

local function errs(f, what)
  local ok, err = pcall(f)
  assert(not ok and err:find(what, 1, true), err)
end

-- getinfo on Lua functions, C functions, levels and main chunks.
local function target(a, b, ...)
  local x = a
  return x
end
local info = debug.getinfo(target)
assert(info.what == "Lua" and info.nparams == 2 and info.isvararg == true and info.nups == 0)
assert(info.linedefined > 0 and info.lastlinedefined == info.linedefined + 3 and info.source:sub(1, 1) == "@")
assert(info.short_src and info.func == target and info.currentline == -1)
local cinfo = debug.getinfo(print)
assert(cinfo.what == "C" and cinfo.source == "=[C]" and cinfo.short_src == "[C]" and cinfo.currentline == -1)
assert(cinfo.linedefined == -1 and cinfo.nparams == 0 and cinfo.isvararg == true)
local function here() return debug.getinfo(1, "nSlf") end
local hi = here()
assert(hi.name == "here" and hi.namewhat == "local" and hi.func == here and hi.currentline == hi.linedefined)
local function callerinfo() return debug.getinfo(2, "l").currentline end
local line = debug.getinfo(1, "l").currentline + 1
assert(callerinfo() == line)
local mainchunk = load("return debug.getinfo(1, 'S')", "=chunkname")()
assert(mainchunk.what == "main" and mainchunk.source == "=chunkname" and mainchunk.short_src == "chunkname")
local lines = debug.getinfo(target, "L").activelines
assert(lines[info.linedefined + 1] and lines[info.linedefined + 2] and not lines[info.linedefined + 10])
assert(debug.getinfo(100) == nil and debug.getinfo(1, "") ~= nil)
errs(function() debug.getinfo(1, ">") end, "invalid option")
errs(function() debug.getinfo({}) end, "bad argument #1 to 'getinfo' (number expected, got table)")
-- Tail calls and field/method/global names.
local function tailcalled() return debug.getinfo(1, "t").istailcall end
local function tc() return tailcalled() end
assert(tc() == true and tailcalled() == false)
local obj = {}
function obj.field() return debug.getinfo(1, "n") end
function obj:method() return debug.getinfo(1, "n") end
assert(obj.field().namewhat == "field" and obj.field().name == "field")
assert(obj:method().namewhat == "method" and obj:method().name == "method")
function globalfn() return debug.getinfo(1, "n") end
local gi = globalfn()
assert(gi.namewhat == "global" and gi.name == "globalfn")
globalfn = nil
local mm = setmetatable({}, {__add = function() return debug.getinfo(1, "n") end})
local mi = mm + 1
assert(mi.namewhat == "metamethod" and mi.name == "add")
-- 'r' gives the transferred values of call and return hooks; 'u' upvalue counts.
local function two_ups() return target, info end
local ui = debug.getinfo(two_ups, "u")
assert(ui.nups == 2 and ui.nparams == 0 and ui.isvararg == false)

-- getlocal/setlocal: by level, in functions not running, varargs, temporaries.
local function locals(p1, p2, ...)
  local l1 = "one"
  do local inner = 1 end
  local names = {}
  local k = 1
  while true do
    local name, value = debug.getlocal(1, k)
    if not name then break end
    names[#names + 1] = name
    k = k + 1
  end
  local va1, vv1 = debug.getlocal(1, -1)
  local va2, vv2 = debug.getlocal(1, -2)
  local none = debug.getlocal(1, -3)
  assert(debug.setlocal(1, 1, "changed") == "p1")
  return table.concat(names, ","), va1, vv1, va2, vv2, none, p1
end
local names, va1, vv1, va2, vv2, none, p1 = locals("a", "b", "x", "y")
assert(names:find("^p1,p2,l1,names,k") and va1 == "(vararg)" and vv1 == "x" and va2 == "(vararg)" and vv2 == "y")
assert(none == nil and p1 == "changed")
assert(debug.getlocal(target, 1) == "a" and debug.getlocal(target, 2) == "b" and debug.getlocal(target, 3) == nil)
assert(debug.getlocal(print, 1) == nil)
errs(function() debug.getlocal(50, 1) end, "bad argument #1 to 'getlocal' (level out of range)")
assert(debug.setlocal(1, 1000, 1) == nil)
-- Locals of a suspended coroutine.
local co = coroutine.create(function(arg) local inside = arg * 2; coroutine.yield() end)
coroutine.resume(co, 21)
local n1, v1 = debug.getlocal(co, 1, 1)
local n2, v2 = debug.getlocal(co, 1, 2)
assert(n1 == "arg" and v1 == 21 and n2 == "inside" and v2 == 42)
assert(debug.setlocal(co, 1, 2, 0) == "inside" and select(2, debug.getlocal(co, 1, 2)) == 0)
assert(debug.getinfo(co, 1, "S").what == "Lua" and debug.getinfo(co, 0, "S").what == "C")

-- Upvalues: names, values, setting, identity and joining.
local u1, u2 = 1, 2
local function ups() return u1 + u2 end
local function ups2() return u2 end
assert(debug.getupvalue(ups, 1) == "u1" and select(2, debug.getupvalue(ups, 2)) == 2 and debug.getupvalue(ups, 3) == nil)
assert(debug.setupvalue(ups, 1, 10) == "u1" and u1 == 10 and ups() == 12)
assert(debug.upvalueid(ups, 2) == debug.upvalueid(ups2, 1) and debug.upvalueid(ups, 1) ~= debug.upvalueid(ups, 2))
assert(type(debug.upvalueid(ups, 1)) == "userdata")
debug.upvaluejoin(ups, 1, ups2, 1)                 -- ups' first upvalue is now u2
assert(ups() == 4 and debug.upvalueid(ups, 1) == debug.upvalueid(ups2, 1))
u2 = 5
assert(ups() == 10)
assert(debug.upvalueid(ups, 5) == nil)
errs(function() debug.upvaluejoin(ups, 5, ups2, 1) end, "invalid upvalue index")
errs(function() debug.upvaluejoin(print, 1, ups2, 1) end, "invalid upvalue index")
errs(function() debug.upvaluejoin(string.gmatch("a", "a"), 1, ups2, 1) end, "Lua function expected")
assert(debug.getupvalue(string.gmatch("a", "a"), 1) == "")   -- C upvalues have empty names

-- Hooks: call/return, lines, counts; hooks are per coroutine.
local events = {}
local function traced(a) local b = a + 1; return b end
debug.sethook(function(ev) local i = debug.getinfo(2, "f"); if i and i.func == traced then events[#events + 1] = ev end end, "cr")
traced(1)
debug.sethook()
assert(table.concat(events, ",") == "call,return", table.concat(events, ","))
assert(debug.gethook() == nil and select("#", debug.gethook()) == 1)
local linesseen = {}
local function lined()
  local a = 1
  local b = 2
  return a + b
end
local first = debug.getinfo(lined, "S").linedefined
debug.sethook(function(ev, l) if debug.getinfo(2, "f").func == lined then linesseen[#linesseen + 1] = l - first end end, "l")
lined()
debug.sethook()
assert(table.concat(linesseen, ",") == "1,2,3", table.concat(linesseen, ","))
local ticks = 0
debug.sethook(function(ev) assert(ev == "count"); ticks = ticks + 1 end, "", 100)
for _ = 1, 20000 do end   -- one instruction per iteration
debug.sethook()
assert(ticks >= 200 and ticks <= 230, ticks)
local function quiet() end
local f, m, c = (function() debug.sethook(quiet, "crl", 7); local r = {debug.gethook()}; debug.sethook(); return table.unpack(r) end)()
assert(f == quiet and m == "crl" and c == 7)
-- A hook in a coroutine does not see the main thread, and the other way round.
local cohits = 0
local hooked = coroutine.create(function() for _ = 1, 5 do coroutine.yield() end end)
debug.sethook(hooked, function() cohits = cohits + 1 end, "l")
coroutine.resume(hooked)
local before = cohits
for _ = 1, 50 do local _ = 1 end
assert(cohits == before and before > 0)
coroutine.resume(hooked)
assert(cohits > before and debug.gethook(hooked) ~= nil and debug.gethook() == nil)
-- A hook may raise an error, which unwinds the hooked code.
local fired = false
local okh, eh = pcall(function()
  debug.sethook(function() if not fired then fired = true; error("hook error") end end, "", 1)
  for _ = 1, 10 do end
end)
debug.sethook()
assert(not okh and eh:find("hook error"))
-- Tail-call events.
local tailevents = {}
local function tail_target() return 1 end
local function tail_caller() return tail_target() end
debug.sethook(function(ev) if debug.getinfo(2, "f").func == tail_target then tailevents[#tailevents + 1] = ev end end, "c")
tail_caller()
debug.sethook()
assert(tailevents[1] == "tail call")

-- traceback: messages, levels, non-string messages, coroutines, long stacks.
local tb = debug.traceback("msg")
assert(tb:find("^msg\nstack traceback:\n") and tb:find("in main chunk"))
local tab = {}
assert(debug.traceback(42):find("^42\nstack traceback:") and debug.traceback(tab) == tab and debug.traceback(nil):find("^stack traceback:"))
local function level3() return debug.traceback("lv", 1) end
local function level2() return (level3()) end
local t3 = level2()
assert(t3:find("^lv\nstack traceback:\n[^\n]*in upvalue 'level3'\n[^\n]*in local 'level2'"), t3)
local tco = coroutine.create(function() local function inco() coroutine.yield() end inco() end)
coroutine.resume(tco)
local ctb = debug.traceback(tco, "co")
assert(ctb:find("^co\nstack traceback:\n") and ctb:find("inco"), ctb)
assert(debug.traceback(tco, nil, 1):find("^stack traceback:"))
local function recurse(k) if k == 0 then return debug.traceback() end return (recurse(k - 1)) end
local long = recurse(100)
assert(long:find("%.%.%.\t%(skipping %d+ levels%)"), long)
local _, count_lines = long:gsub("\n", "")
assert(count_lines < 30)

-- Metatables and user values of any value.
local numbermt = {__index = function(n, k) return k .. n end}
debug.setmetatable(0, numbermt)
assert((5).x == "x5" and getmetatable(1.5) == numbermt)
debug.setmetatable(0, nil)
assert(getmetatable(1) == nil)
local prot = setmetatable({}, {__metatable = "no"})
assert(debug.getmetatable(prot).__metatable == "no" and getmetatable(prot) == "no")
assert(debug.setmetatable(prot, nil) == prot and getmetatable(prot) == nil)
local fmt = {__call = function() return "called nil" end}
debug.setmetatable(nil, fmt)
assert((nil)() == "called nil")
debug.setmetatable(nil, nil)
local ud = io.stdout
assert(debug.getuservalue(ud, 1) == nil and select("#", debug.getuservalue(ud, 1)) == 1)   -- no such user value
assert(debug.getuservalue(1) == nil)
errs(function() debug.setuservalue({}, 1) end, "bad argument #1 to 'setuservalue' (userdata expected, got table)")
assert(debug.setuservalue(ud, 5, 1) == nil)          -- a full userdata without user values
assert(debug.getregistry() and type(debug.getregistry()) == "table" and debug.getregistry()._LOADED == package.loaded)

print("OK db")
