function c = add(a, b)
c = a + b;
