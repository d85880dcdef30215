function value = getshared()
global SHARED
value = SHARED;
