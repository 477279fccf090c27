-- A million calls of Format("{:08.3f}", x); prints the total length of the
-- results and the last one.
local function main()
  local total, last = 0, ""
  local format = string.format
  for i = 1, 1000000 do
    last = format("%08.3f", (i % 1000) / 8.0)
    total = total + #last
  end
  print(total .. " " .. last)
end
main()
