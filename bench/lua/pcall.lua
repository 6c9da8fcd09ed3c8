-- Errors caught by pcall in a loop: on NorrikLua each is a C++ throw through SjLj unwinding.
local caught = 0
local function fails(i) error(i) end
for i = 1, 1000000 do
  local ok = pcall(fails, i)
  if not ok then caught = caught + 1 end
end
assert(caught == 1000000)
