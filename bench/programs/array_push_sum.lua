-- Fills an array with 1,000,000 integers and sums it with a for loop.
local a = {}
for i = 1, 1000000 do
  a[#a + 1] = i
end
local sum = 0
for _, v in ipairs(a) do
  sum = sum + v
end
print(sum)
