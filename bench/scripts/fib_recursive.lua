-- Naive recursive Fibonacci: one function call per step.
local function fib(n)
  if n < 2 then
    return n
  end
  return fib(n - 1) + fib(n - 2)
end

print("result: " .. fib(24))
