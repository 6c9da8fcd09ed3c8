-- Allocates and frees a lot, ROUNDS times over, under the garbage collector.
for _ = 1, ROUNDS do
  local junk = {}
  for i = 1, 5000 do junk[i] = {i, tostring(i) .. "x", string.rep("y", i % 300)} end
  junk = nil
  collectgarbage()
end
