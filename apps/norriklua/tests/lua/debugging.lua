-- The debug library: information about functions and frames, locals, upvalues, hooks.

local function here() return debug.getinfo(1, "Sl") end
local info = here()
assert(info.short_src == "test.lua" and info.currentline > 0 and info.what == "Lua")
assert(debug.getinfo(print).what == "C" and debug.getinfo(1, "n") ~= nil)
local function params(a, b, ...) return debug.getinfo(1, "u") end
local u = params()
assert(u.nparams == 2 and u.isvararg and u.nups == 1)  -- _ENV
assert(debug.getinfo(100) == nil)

local function locals(x, y)
  local z = x + y
  local names = {}
  local i = 1
  while true do
    local name, value = debug.getlocal(1, i)
    if not name then break end
    names[#names + 1] = name .. "=" .. tostring(value)
    i = i + 1
  end
  return table.concat(names, " ")
end
assert(locals(1, 2):find("^x=1 y=2 z=3"))
local function setter() local v = 1; debug.setlocal(1, 1, 99); return v end
assert(setter() == 99)

local counter = 0
local function bump() counter = counter + 1 return counter end
assert(debug.getupvalue(bump, 1) == "counter")
debug.setupvalue(bump, 1, 41)
assert(bump() == 42)
local function other() return counter end
assert(debug.upvalueid(bump, 1) == debug.upvalueid(other, 1))

-- Hooks: lines and calls are reported; a count hook can stop a runaway loop.
local lines = 0
debug.sethook(function(event) if event == "line" then lines = lines + 1 end end, "l")
local x = 0
x = x + 1
x = x + 1
debug.sethook()
assert(lines >= 2 and debug.gethook() == nil)
local calls = 0
debug.sethook(function() calls = calls + 1 end, "c")
bump(); bump()
debug.sethook()
assert(calls >= 2)
local ok, err = pcall(function()
  debug.sethook(function() error("too long") end, "", 1000)
  while true do end
end)
debug.sethook()
assert(not ok and err:find("too long"))

-- Tracebacks.
local tb = debug.traceback("msg", 1)
assert(tb:find("^msg\nstack traceback:\n"))
local object = {}
assert(debug.traceback(object) == object)  -- not a message: returned untouched
local co = coroutine.create(function() coroutine.yield() end)
coroutine.resume(co)
assert(debug.traceback(co):find("yield"))

-- Metatables and user values through debug.
local mt = {}
debug.setmetatable(10, mt)
assert(getmetatable(1) == mt)
debug.setmetatable(10, nil)
assert(debug.getregistry() ~= nil and type(debug.getregistry()) == "table")
