-- Builds a table of 200,000 text keys, then reads every key back.
local n = 200000
local m = {}
for i = 1, n do
  m["key" .. i] = i
end
local sum = 0
for i = 1, n do
  sum = sum + m["key" .. i]
end
print(sum)
