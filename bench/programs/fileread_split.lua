-- Reading a text file of two hundred thousand lines (written by the runner)
-- whole, splitting it into lines and counting the lines that contain a word;
-- prints the count.
local function main()
  local expected = 200000
  local handle = assert(io.open("lines.txt", "rb"))
  local text = handle:read("a")
  handle:close()
  local lines, n, start = {}, 0, 1
  local find, sub = string.find, string.sub
  while true do
    local cut = find(text, "\n", start, true)
    n = n + 1
    if not cut then lines[n] = sub(text, start); break end
    lines[n] = sub(text, start, cut - 1)
    start = cut + 1
  end
  local found = 0
  for i = 1, n do
    if find(lines[i], "needle", 1, true) then found = found + 1 end
  end
  -- The text ends with a line feed: the last part is empty.
  print(n == expected + 1 and found or ("split " .. n .. " parts"))
end
main()
