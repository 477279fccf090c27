-- A pattern substitution on a 1,048,576-character text, a hundred times:
-- every "no," becomes "No;;" through a capture; prints the sum of the
-- replacement counts and result lengths.
local function main()
  local s = "abcdefghijklmno,"
  for _ = 1, 16 do s = s .. s end
  local total = 0
  local gsub = string.gsub
  for _ = 1, 100 do
    local r, n = gsub(s, "n(o),", "N%1;;")
    total = total + n + #r
  end
  print(string.format("%d", total))
end
main()
