%% end in a subscript counts along that dimension
A = reshape(1:12, 3, 4);
disp(A(end, 1))                           % expect: 3
disp(A(1, end))                           % expect: 10
disp(A(end))                              % expect: 12
disp(A(end - 1, end - 1))                 % expect: 8
%% end inside a nested index refers to the innermost indexed value
a = 10:10:100;
b = [5 6 7];
disp(a(b(end)))                           % expect: 70
disp(a(b(end) + end - 9))                 % expect: 80
disp(a(min(end, 50)))                     % expect: 100
%% end in arithmetic ranges
v = 1:10;
disp(v(end:-3:1))                         % expect: 10 7 4 1
disp(v(end/2 + 1:end))                    % expect: 6 7 8 9 10
disp(v([1:2, end - 1:end]))               % expect: 1 2 9 10
%% a vector indexed by a matrix takes the shape of the index
v = 1:5;
disp(v([1 2; 3 4]))
% expect: 1 2
% expect: 3 4
%% a vector indexed by a vector keeps its own orientation
c = (1:5)';
disp(size(c([1 2 3])))                    % expect: 3 1
r = 1:5;
disp(size(r([1; 2])))                     % expect: 1 2
%% a matrix indexed by one vector gives the shape of that vector
A = [1 2; 3 4];
disp(size(A([1 2 3])))                    % expect: 1 3
disp(size(A([1; 2])))                     % expect: 2 1
%% A(:) is a column and A(:)' a row
A = [1 2; 3 4];
disp(A(:)')                               % expect: 1 3 2 4
disp(size(A(:)))                          % expect: 4 1
%% logical masks select elements in column order
A = [5 1; 7 3];
disp(A(A > 2)')                           % expect: 5 7 3
disp(A(logical([1 0; 0 1]))')             % expect: 5 3
%% a mask longer than the array is an error where it selects past the end
v = [1 2 3];
v(logical([0 0 0 1]))                     % expect-error: Q:badsubscript
%% reading past the end or at zero is an error
v = [1 2 3];
v(0)                                      % expect-error: Q:badsubscript
%% non-integer subscripts are an error
v = [1 2 3];
v(1.5)                                    % expect-error: Q:badsubscript
%% assignment past the end grows with zeros
clear x
x(5) = 1;
disp(x)                                   % expect: 0 0 0 0 1
y = (1:2)';
y(4) = 4;
disp(y')                                  % expect: 1 2 0 4
disp(size(y))                             % expect: 4 1
%% subscript assignment past the end grows a matrix
A = eye(2);
A(3, 4) = 7;
disp(A)
% expect: 1 0 0 0
% expect: 0 1 0 0
% expect: 0 0 0 7
%% linear assignment past the end of a matrix is an error
A = [1 2; 3 4];
A(7) = 1;                                 % expect-error: Q:badsubscript
%% growing a text pads with NUL characters
s = 'ab';
s(4) = 'd';
disp(double(s))                           % expect: 97 98 0 100
%% assigning a scalar to many elements, and a matching block
A = zeros(2, 3);
A(:, 2) = 5;
A(1, [1 3]) = [7 8];
disp(A)
% expect: 7 5 8
% expect: 0 5 0
%% assigning a block of the wrong size is an error
A = zeros(2, 3);
A(:, 1) = [1 2 3];                        % expect-error: Q:dimensionMismatch
%% A(:) = v refills in column order and keeps the shape
A = zeros(2, 3);
A(:) = 1:6;
disp(A)
% expect: 1 3 5
% expect: 2 4 6
%% deleting rows, columns and elements
A = reshape(1:12, 3, 4);
A(2, :) = [];
disp(A)
% expect: 1 4 7 10
% expect: 3 6 9 12
A(:, [1 3]) = [];
disp(A)
% expect: 4 10
% expect: 6 12
%% deleting elements of a matrix by a linear index leaves a row
A = [1 2; 3 4];
A([1 4]) = [];
disp(A)                                   % expect: 3 2
%% deletion that would leave a hole is an error
A = [1 2; 3 4];
A(1, 1) = [];                             % expect-error: Q:nullAssignment
%% deleting with an empty index changes nothing
v = [1 2 3];
v([]) = [];
disp(v)                                   % expect: 1 2 3
%% deleting by a logical mask
v = [4 -1 6 -2];
v(v < 0) = [];
disp(v)                                   % expect: 4 6
%% rows appended one at a time to an empty matrix
M = [];
for k = 1:3
  M(end + 1, :) = [k, k^2];
end
disp(M)
% expect: 1 1
% expect: 2 4
% expect: 3 9
%% columns appended with end + 1
M = [1; 2];
M(:, end + 1) = [3; 4];
disp(M)
% expect: 1 3
% expect: 2 4
%% swapping elements and rows through index lists
v = [1 2 3 4];
v([1 4]) = v([4 1]);
disp(v)                                   % expect: 4 2 3 1
A = [1 2; 3 4; 5 6];
A([1 3], :) = A([3 1], :);
disp(A(:, 1)')                            % expect: 5 3 1
%% three-dimensional arrays grow by pages
A = zeros(2, 2);
A(:, :, 2) = [1 2; 3 4];
disp(size(A))                             % expect: 2 2 2
disp(A(:, :, end))
% expect: 1 2
% expect: 3 4
disp(A(6))                                % expect: 3
disp(sum(A, 3))
% expect: 1 2
% expect: 3 4
%% a page of a three-dimensional array is deleted
A = reshape(1:8, 2, 2, 2);
A(:, :, 1) = [];
disp(size(A))                             % expect: 2 2
disp(A(1, :))                             % expect: 5 7
%% reshape with an inferred size
disp(size(reshape(1:12, [], 3)))          % expect: 4 3
disp(size(reshape(1:12, 2, [], 2)))       % expect: 2 3 2
reshape(1:6, 4, [])                       % expect-error: Q:reshapeCount
%% a scalar behaves as a one-element array in indexing
x = 5;
disp([x(1), x(1, 1), x(end)])             % expect: 5 5 5
x(3) = 1;
disp(x)                                   % expect: 5 0 1
%% indexing the result of a call directly
disp(size(zeros(3, 4)))                   % expect: 3 4
s = 'hello';
disp(upper(s(1)))                         % expect: H
%% transposes inside and after indexing
A = [1 2; 3 4];
disp(A(1, :)')
% expect: 1
% expect: 2
disp(A')
% expect: 1 3
% expect: 2 4
