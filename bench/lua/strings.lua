-- String building and string.format: memcpy, hashing and the formatter.
local parts = {}
for i = 1, 200000 do parts[#parts + 1] = string.format("%d:%.3f:%s;", i, i / 7, "x") end
local s = table.concat(parts)
local acc = ""
for i = 1, 20000 do acc = acc .. tostring(i % 10) end
local up = s:upper():lower()
assert(#up == #s and #acc == 20000)
for i = 1, 100000 do local _ = tostring(i + 0.5) end
