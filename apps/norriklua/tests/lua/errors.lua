-- Errors through pcall, xpcall and error across many frames: every Lua error is a C++
-- exception travelling through the SjLj unwinder.

local function fails(depth, value)
  if depth == 0 then error(value, 0) end
  return fails(depth - 1, value) + 1  -- not a tail call: every frame stays
end
for _, depth in ipairs({0, 1, 10, 100, 150}) do
  local ok, err = pcall(fails, depth, "deep " .. depth)
  assert(not ok and err == "deep " .. depth)
end

-- Error values of every type travel unchanged; levels add positions.
for _, v in ipairs({42, 1.5, true, {}, print, coroutine.create(print)}) do
  local ok, err = pcall(error, v)
  assert(not ok and err == v)
end
assert(select(2, pcall(error)) == nil)
local function where(level) error("msg", level) end
assert(select(2, pcall(where, 1)):match("^test.lua:%d+: msg$"))
assert(select(2, pcall(where, 0)) == "msg")
assert(select(2, pcall(where, 2)) == "msg")  -- the caller is pcall, a C function

-- Runtime errors name what went wrong.
local function message(f, ...) return select(2, pcall(f, ...)) end
assert(message(function() local t = nil; return t.x end):find("attempt to index a nil value %(local 't'%)"))
assert(message(function() return {} + 1 end):find("attempt to perform arithmetic on a table value"))
assert(message(function() return #nil end):find("attempt to get length of a nil value"))
assert(message(function() undefined_function() end):find("global 'undefined_function'"))
assert(message(function() return 1 < "x" end):find("attempt to compare number with string"))
assert(message(function() return ("x"):bad() end):find("method 'bad'"))
assert(message(function() return {} .. "x" end):find("attempt to concatenate a table value"))
assert(message(function() return 2^53 | 0 end) == 2^53)
assert(message(function() return 2^63 | 0 end):find("number has no integer representation"))
assert(message(string.rep):find("bad argument #1 to '.-rep' %(string expected, got no value%)"))
assert(message(setmetatable, 1):find("bad argument #1 to 'setmetatable' %(table expected, got number%)"))

-- xpcall runs the handler where the error happened, with the traceback available.
local ok, trace = xpcall(fails, debug.traceback, 5, "traced")
assert(not ok and trace:find("^traced\nstack traceback:") and trace:find("in upvalue 'fails'") or trace:find("in function"))
local handled = select(2, xpcall(function() error({}) end, function(e) return type(e) end))
assert(handled == "table")
assert(select(2, xpcall(error, function() error("again") end, "x")) ~= nil)  -- error in the handler
assert(select("#", xpcall(function() return 1, 2, 3 end, print)) == 4)

-- Errors inside metamethods, iterators and sort comparisons unwind through C functions.
local bad = setmetatable({}, {__index = function() error("index failed") end})
assert(message(function() return bad.x end):find("index failed"))
assert(message(table.sort, {3, 2, 1}, function() error("compare failed") end):find("compare failed"))
assert(message(string.gsub, "abc", "%w", function() error("gsub failed") end):find("gsub failed"))
assert(message(function() for _ in function() error("iter") end do end end):find("iter"))
assert(select(3, pcall(load, function() error("reader") end)):find("reader"))

-- Nested pcall: inner errors are caught inside, outer code continues.
local trail = {}
local ok1 = pcall(function()
  local ok2 = pcall(function()
    local ok3 = pcall(error, "innermost")
    trail[#trail + 1] = ok3
    error("middle")
  end)
  trail[#trail + 1] = ok2
  error("outer")
end)
assert(ok1 == false and trail[1] == false and trail[2] == false)

-- Thousands of errors in a loop, with state intact afterwards.
local caught = 0
for i = 1, 20000 do
  local ok, err = pcall(error, i)
  if not ok and err == i then caught = caught + 1 end
end
assert(caught == 20000)
for i = 1, 2000 do
  local ok = pcall(function() local t = {} return t.a.b end)
  assert(not ok)
end
assert(select(2, pcall(fails, 20, "still fine")) == "still fine")

-- error objects with __tostring.
local E = setmetatable({}, {__tostring = function() return "custom error" end})
assert(select(2, pcall(error, E)) == E and tostring(E) == "custom error")

-- assert and its messages.
assert(select(2, pcall(assert, false)) == "assertion failed!")
assert(select(2, pcall(assert, nil, "why")) == "why")
assert(select(2, pcall(assert, false, {1})) [1] == 1)
assert(select("#", assert(1, 2, 3)) == 3)
