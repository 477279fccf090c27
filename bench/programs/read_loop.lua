-- A loop over the lines of a text file of two hundred thousand lines (written
-- by the runner), counting the lines that contain a word; prints the count.
local function main()
  local expected = 200000
  local lines, found = 0, 0
  local find = string.find
  for line in io.lines("lines.txt") do
    lines = lines + 1
    if find(line, "needle", 1, true) then found = found + 1 end
  end
  print(lines == expected and found or ("read " .. lines .. " lines"))
end
main()
