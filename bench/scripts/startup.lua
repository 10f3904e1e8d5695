-- Does nothing but print its result: the cost of starting the interpreter.
print("result: " .. 0)
