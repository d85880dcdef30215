%% arithmetic display
x = 1 + 2   % expect: x = 3
y = 2 * x;
y           % expect: y = 6
%% ans
3 + 4       % expect: ans = 7
ans * 2     % expect: ans = 14
%% precedence of unary minus and power
a = -2^2    % expect: a = -4
b = 2^-1    % expect: b = 0.5000
c = 2^3^2   % expect: c = 64
%% comparison and logical precedence
t = 1 + 2 == 3 & 2 < 3   % expect: t = 1
%% undefined name
x = undefinedThing + 1   % expect-error: Q:undefined
