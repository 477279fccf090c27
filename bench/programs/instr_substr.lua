-- InStr and SubStr over a 1,048,576-character text: a hundred thousand calls of each,
-- at positions spread over the whole text; prints the sum of the results.
local function main()
  local s = "abcdefghijklmno,"
  for _ = 1, 16 do s = s .. s end
  local total = 0
  local find, sub, byte = string.find, string.sub, string.byte
  for i = 1, 100000 do
    local pos = (i * 7919) % 1000000 + 1
    total = total + (find(s, "no,", pos, true) or 0)
    total = total + byte(sub(s, pos, pos + 4))
  end
  print(string.format("%d", total))
end
main()
