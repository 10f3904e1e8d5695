-- Walks a 5,000-line text file line by line through string functions, several rounds. bench/run.sh makes
-- the file (text_walk.txt) in the folder it runs the benchmarks in.
local rounds = 70
local total = 0
for r = 1, rounds do
  for line in io.lines("text_walk.txt") do
    local items = 1
    for _ in string.gmatch(line, " ") do items = items + 1 end
    total = total + #line + items
    if string.find(line, "fox", 1, true) then
      total = total + #(string.sub(line, 1, 12):match("^%s*(.-)%s*$"))
    end
  end
end
print("result: " .. total)
