-- Compares the answers of two interpreters (answers.lua), line by line: exactly, except
-- results of "math" lines, whose last field may differ by one unit in the last place (two
-- for Lua 5.3's hyperbolic functions, about an ulp from the true value either way).
--   lua5.4 compare.lua EXPECTED ACTUAL
local function lines(name)
  local t = {}
  for line in io.lines(name) do t[#t + 1] = line end
  return t
end

-- Floats are written as "f" and 16 hex digits of their bits.
local function ulps(a, b)
  if not (a:find("^f%x+$") and b:find("^f%x+$")) then return math.huge end
  local x, y = tonumber(a:sub(2), 16), tonumber(b:sub(2), 16)
  if not x or not y or (x < 0) ~= (y < 0) then return math.huge end
  return math.abs(x - y)
end

local function close(expected, actual)
  if expected == actual then return true end
  if not (expected:find("^math: ") and actual:find("^math: ")) then return false end
  local e_head, e_result = expected:match("^(.*) (%S+)$")
  local a_head, a_result = actual:match("^(.*) (%S+)$")
  local allowed = e_head:find('^math: "%a+h" ') and 2 or 1  -- sinh, cosh, tanh
  return e_head == a_head and ulps(e_result, a_result) <= allowed
end

local expected, actual = lines(arg[1]), lines(arg[2])
local shown, differ = 0, 0
for i = 1, math.max(#expected, #actual) do
  local e, a = expected[i] or "(nothing)", actual[i] or "(nothing)"
  if not close(e, a) then
    differ = differ + 1
    if shown < 30 then
      shown = shown + 1
      print("-" .. e:sub(1, 400))
      print("+" .. a:sub(1, 400))
    end
  end
end
if differ > 0 then
  print(("(%d of %d answers differ)"):format(differ, #expected))
  os.exit(1)
end
print(("the same %d answers"):format(#expected))
