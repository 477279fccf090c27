-- Adds the loop counter to a variable 20,000,000 times and prints the sum.
local x = 0
for i = 1, 20000000 do
  x = x + i
end
print(x)
