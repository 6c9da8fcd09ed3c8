-- Pattern matching: find, match, gmatch and gsub over a large text.
local line = "the quick brown fox jumps over the lazy dog 12345 times; "
local text = line:rep(40000)
local count = 0
for word in text:gmatch("%a+") do count = count + #word end
local replaced, n = text:gsub("(%w+) (%w+)", "%2 %1")
local numbers = 0
for d in text:gmatch("%d+") do numbers = numbers + tonumber(d) end
for i = 1, 200000 do local _ = line:find("lazy (%a+)") end
assert(count > 0 and n > 0 and numbers == 12345 * 40000)
