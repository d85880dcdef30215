function setshared(value)
global SHARED
SHARED = value;
