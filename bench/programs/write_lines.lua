-- Two hundred thousand lines written through a file object; prints the size
-- of the file.
local function main()
  local handle = assert(io.open("out.txt", "wb"))
  for i = 1, 200000 do
    handle:write("line ", i, " of the output\n")
  end
  handle:close()
  handle = assert(io.open("out.txt", "rb"))
  local size = handle:seek("end")
  handle:close()
  print(size)
end
main()
