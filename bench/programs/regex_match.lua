-- A pattern match with two captures on 200,000 short texts (Lua patterns
-- stand in for regular expressions); prints the sum of both captures.
local function main()
  local match, tostring, tonumber = string.match, tostring, tonumber
  local total = 0
  for i = 1, 200000 do
    local a, b = match("id" .. tostring(i) .. "-" .. tostring(i * 3) .. ";", "(%d+)-(%d+)")
    total = total + tonumber(a) + tonumber(b)
  end
  print(string.format("%d", total))
end
main()
