-- Reads a 100,000-line text file line by line and counts the lines that hold a word. bench/run.sh makes
-- the file (file_lines.txt) in the folder it runs the benchmarks in.
local lines, found = 0, 0
for line in io.lines("file_lines.txt") do
  lines = lines + 1
  if string.find(line, "needle", 1, true) then
    found = found + 1
  end
end
print("result: " .. lines .. " " .. found)
