-- Builds a 3,000,000-character string one character at a time and prints it.
-- Lua strings are immutable, so `s = s .. "x"` copies the whole string each
-- time; Lua programmers collect the pieces in a table and join them once.
local parts = {}
for i = 1, 3000000 do
  parts[i] = "x"
end
local s = table.concat(parts)
io.write(s, "\n")
