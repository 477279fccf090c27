-- Adds the loop counter to a variable 10,000,000 times and prints the sum.
local x = 0
for i = 1, 10000000 do
  x = x + i
end
print(x)
