-- StrSplit of a comma-separated text of two hundred thousand fields (1,000,000
-- characters) and a loop over the parts; prints the part count and the
-- total length of the parts.
local function main()
  local pieces = {}
  for i = 1, 200000 do pieces[i] = "abcd," end
  local s = table.concat(pieces)
  local parts, n, start = {}, 0, 1
  local find, sub = string.find, string.sub
  while true do
    local cut = find(s, ",", start, true)
    n = n + 1
    if not cut then parts[n] = sub(s, start); break end
    parts[n] = sub(s, start, cut - 1)
    start = cut + 1
  end
  local total = 0
  for i = 1, n do total = total + #parts[i] end
  print(n .. " " .. total)
end
main()
