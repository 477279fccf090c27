-- Reads the loop counter (A_Index) 1,000,000 times; prints the count of reads.
local clock, date = os.clock, os.date
local y = 5
local n = 0
local x
for i = 1, 1000000 do
  x = i
  n = n + 1
end
print(n)
