x = [1 2
%{
block
%{
nested
%}
%}
3]
