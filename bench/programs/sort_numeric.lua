-- Numeric sort of 200,000 lines of text (distinct values in scrambled
-- order), the result joined back into text; prints the first, middle and
-- last line of the result.
local function main()
  local count = 200000
  local parts = {}
  for i = 1, count do parts[i] = tostring(i * 7919 % 1000003) end
  local text = table.concat(parts, "\n")
  local numbers = {}
  for line in text:gmatch("[^\n]+") do numbers[#numbers + 1] = tonumber(line) end
  table.sort(numbers)
  for i = 1, #numbers do parts[i] = string.format("%d", numbers[i]) end
  text = table.concat(parts, "\n")
  local lines = {}
  for line in text:gmatch("[^\n]+") do lines[#lines + 1] = line end
  print(lines[1] .. " " .. lines[count // 2] .. " " .. lines[count])
end
main()
