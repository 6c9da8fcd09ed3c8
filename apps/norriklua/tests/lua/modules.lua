-- Loading code: require of modules in the store, dofile, loadfile, load, string.dump.

local f = assert(io.open("mymod.lua", "w"))
f:write("local M = {} M.loads = (M.loads or 0) + 1 function M.twice(x) return 2 * x end return M\n")
f:close()
local m = require("mymod")
assert(m.twice(21) == 42 and package.loaded.mymod == m and require("mymod") == m)
assert(select(2, require("mymod")) == nil or select(2, require("mymod")) == "mymod.lua")
local ok, err = pcall(require, "no_such_module")
assert(not ok and err:find("module 'no_such_module' not found") and err:find("no_such_module.lua"))
assert(package.path:find("?.lua", 1, true) and package.config:sub(1, 1) == "/")
package.preload.virtual = function(name) return {name = name} end
assert(require("virtual").name == "virtual")
assert(package.searchpath("mymod", "?.lua") == "mymod.lua")

f = assert(io.open("script.lua", "w"))
f:write("local a, b = ... return (a or 1) + (b or 2), 'ran'\n")
f:close()
local r1, r2 = dofile("script.lua")
assert(r1 == 3 and r2 == "ran")
local chunk = assert(loadfile("script.lua"))
assert(chunk(10, 20) == 30)
assert(loadfile("missing.lua") == nil and select(2, loadfile("missing.lua")):find("missing.lua"))
assert(not pcall(dofile, "missing.lua"))
f = assert(io.open("broken.lua", "w"))
f:write("return 1 +\n")
f:close()
local nothing, message = loadfile("broken.lua")
assert(nothing == nil and message:find("broken.lua:2:"))

-- load with text, a reader function, modes and environments.
assert(load("return 1 + 1")() == 2)
local pieces = {"return ", "'rea", "der'"}
local i = 0
assert(load(function() i = i + 1 return pieces[i] end)() == "reader")
local env = {y = 5}
assert(load("return y", "chunk", "t", env)() == 5)
assert(load("x = 1", "=named", "t", env) and not pcall(load("error('e')", "=named")))
local _, named = pcall(load("error('e')", "=named"))
assert(named == "named:1: e")
assert(load("syntax error here") == nil)

-- Binary chunks: dump, load back, from a file as well.
local function adder(a, b) return a + b end
local binary = string.dump(adder)
assert(load(binary, "bin", "b")(2, 3) == 5)
assert(load(binary, "bin", "t") == nil)
assert(load("return 1", "txt", "b") == nil)
f = assert(io.open("compiled.luac", "wb"))
f:write(string.dump(load("return 'from binary'"), true))
f:close()
assert(dofile("compiled.luac") == "from binary")
for _, name in ipairs({"mymod.lua", "script.lua", "broken.lua", "compiled.luac"}) do os.remove(name) end
