-- Table inserts, lookups and sorts: allocation through the host and the VM's table code.
local t = {}
for i = 1, 300000 do t[#t + 1] = (i * 7919) % 1000003 end
table.sort(t)
local words = {}
for i = 1, 100000 do words[i] = "w" .. ((i * 31) % 99991) end
table.sort(words)
local set = {}
for i = 1, 200000 do set["k" .. (i % 50000)] = i end
local n = 0
for _ in pairs(set) do n = n + 1 end
assert(n == 50000 and t[1] <= t[2])
