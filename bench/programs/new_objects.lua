-- Creates 300,000 objects of a class with a constructor and calls a method on each.
local Item = {}
Item.__index = Item

function Item.new(value)
  local self = setmetatable({}, Item)
  self.value = value
  return self
end

function Item:get()
  return self.value
end

local sum = 0
for i = 1, 300000 do
  local item = Item.new(i)
  sum = sum + item:get()
end
print(sum)
