%% fopen, fprintf and fclose write text; 'a' appends; fileread gives the whole file as a row
d = tempname; mkdir(d); name = [d '/a.txt'];
fid = fopen(name, 'w');
n = fprintf(fid, '%d-%s\n', 7, 'x');
fprintf(fid, '%d,', [1 2; 3 4]);
fprintf('%d %d %d\n', fid >= 3, n, fclose(fid))                    % expect: 1 4 0
fid = fopen(name, 'at'); fprintf(fid, 'end'); fclose(fid);
t = fileread(name);
fprintf('[%s] %d %d\n', strrep(t, char(10), '|'), size(t))        % expect: [7-x|1,3,2,4,end] 1 15
delete(name); rmdir(d);
fprintf('%d %d\n', exist(name, 'file'), exist(d, 'dir'))          % expect: 0 0
%% Text is UTF-8 on disk: fprintf and fwrite 'char' encode it, fgetl and fileread decode it
name = tempname;
fid = fopen(name, 'w'); fprintf(fid, '%s\n', ['a' char(233) char(8364)]);
c = fwrite(fid, char(233), 'char'); fclose(fid);
fid = fopen(name);
b = fread(fid)';
fprintf('%d ', b, c); fprintf('| %s\n', class(b))
% expect: 97 195 169 226 130 172 10 195 169 1 | double
frewind(fid); l = fgetl(fid);
fprintf('%d ', double(l), double(fileread(name))); fprintf('\n')
% expect: 97 233 8364 97 233 8364 10 233
fclose(fid); delete(name);
%% fgetl and fgets read line by line; feof turns true with the last line; -1 after it
name = tempname;
fid = fopen(name, 'w'); fprintf(fid, 'one\n\nthree'); fclose(fid);
fid = fopen(name, 'r');
lines = {};
while ~feof(fid) && numel(lines) < 10
  lines{end + 1} = fgetl(fid);
end
fprintf('%d ', numel(lines), cellfun(@numel, lines)); fprintf('%s %d\n', lines{3}, fgetl(fid))
% expect: 3 3 0 5 three -1
frewind(fid);
s = fgets(fid);
fprintf('%d %d %d\n', numel(s), double(s(end)), feof(fid))        % expect: 4 10 0
s2 = fgets(fid); p2 = ftell(fid); s3 = fgets(fid);
fprintf('%d %d %s %d %d %d\n', double(s2), p2, s3, ftell(fid), feof(fid), fgets(fid))
% expect: 10 5 three 10 1 -1
fclose(fid); delete(name);
%% fwrite and fread: precisions, rounding and saturation, counts, [m n] padded with zeros
name = tempname; fid = fopen(name, 'w+');
c = fwrite(fid, [1 2.5 -3 300 NaN], 'uint8');
c = c + fwrite(fid, [-2 70000], 'int32') + fwrite(fid, pi, 'double');
fprintf('%d %d\n', c, ftell(fid))                                  % expect: 8 21
frewind(fid);
[a, n] = fread(fid, 5);
fprintf('%g ', a, n, size(a)); fprintf('\n')                       % expect: 1 3 0 255 0 5 5 1
b = fread(fid, [1 2], 'int32=>double'); x = fread(fid, 1, 'double');
fprintf('%g %g %.15f %d %d\n', b, x, size(b, 1), feof(fid))
% expect: -2 70000 3.141592653589793 1 1
frewind(fid); u = fread(fid, [2 Inf], '*uint8');
fprintf('%s %d %d %d %d %d\n', class(u), size(u), u(2, 3), u(21), u(22))
% expect: uint8 2 11 254 64 0
fclose(fid);
fid = fopen(name, 'w'); fwrite(fid, 'Hi!'); fwrite(fid, [65 66], 'int16'); fclose(fid);
fid = fopen(name); t = fread(fid, 3, 'uint8=>char')'; v = fread(fid, Inf, 'int16')';
[e, m] = fread(fid); fclose(fid);
fprintf('%s %s %d %d %d %d %d\n', t, class(t), v, size(e), m)      % expect: Hi! char 65 66 0 0 0
delete(name);
%% fseek and ftell: the three origins as words and numbers; positions outside the file refused
name = tempname; fid = fopen(name, 'w+'); fprintf(fid, 'abcdefghij');
s = [fseek(fid, 2, 'bof'), ftell(fid), fseek(fid, 3, 'cof'), ftell(fid)];
s = [s, fseek(fid, -4, 'eof'), ftell(fid), fseek(fid, -1, -1), ftell(fid)];
s = [s, fseek(fid, 1, 1), ftell(fid), fseek(fid, -2, 0), ftell(fid)];
fprintf('%d ', s); fprintf('\n')                        % expect: 0 2 0 5 0 6 -1 6 -1 6 0 4
fprintf('%s ', fread(fid, 2, '*char')');
fseek(fid, 0, 'bof'); fprintf(fid, 'XY'); frewind(fid);
fprintf('%s\n', fgetl(fid))                                        % expect: ef XYcdefghij
fclose(fid); delete(name);
%% Permissions: r+ writes in place, a+ reads from the start and appends, w truncates
name = tempname;
fid = fopen(name, 'w'); fprintf(fid, '12345'); fclose(fid);
fid = fopen(name, 'r+'); fprintf(fid, 'ab'); fclose(fid);
t1 = fileread(name);
fid = fopen(name, 'a+'); first = fgetl(fid); fprintf(fid, 'Z'); fclose(fid);
t2 = fileread(name);
fid = fopen(name, 'wb'); fclose(fid);
fprintf('%s %s %s %d\n', t1, first, t2, numel(fileread(name)))   % expect: ab345 ab345 ab345Z 0
fid = fopen(name, 'w');
try, fgetl(fid); catch e, disp(e.identifier), end                 % expect: Q:invalidInput
fclose(fid); fid = fopen(name, 'r');
try, fprintf(fid, 'x'); catch e, disp(e.identifier), end          % expect: Q:invalidInput
try, fwrite(fid, 1); catch e, disp(e.identifier), end             % expect: Q:invalidInput
fclose(fid); delete(name);
%% fopen gives -1 and the reason when it cannot open; ids, fopen('all'), fopen(fid), fclose
[fid, msg] = fopen([tempname '/none.txt']);
fprintf('%d %s\n', fid, msg)
% expect: -1 No such file or directory
[fid, msg] = fopen(tempdir);
fprintf('%d %s\n', fid, msg)                                       % expect: -1 Is a directory
[fid, msg] = fopen('/dev/null', 'r');
fprintf('%d %s\n', fid, msg)                                       % expect: -1 Not a regular file
a = tempname; b = tempname;
f1 = fopen(a, 'w'); f2 = fopen(b, 'w+t');
[nb, pb] = fopen(f2);
fprintf('%d ', f1, f2, fopen('all'), strcmp(nb, b)); fprintf('%s\n', pb)   % expect: 3 4 3 4 1 w+
fclose(f1); f3 = fopen(a, 'r');
fprintf('%d %d %d\n', f3, fclose('all'), numel(fopen('all')))     % expect: 3 0 0
try, fprintf(f2, 'x'); catch e, disp(e.identifier), end           % expect: Q:invalidFid
try, fclose(f2); catch e, disp(e.identifier), end                 % expect: Q:invalidFid
delete(a, b);
fprintf('%d %d\n', isfile(a), isfile(b))                           % expect: 0 0
%% fscanf reads numbers with sscanf's formats; a size shapes them; fgetl may read a header
name = tempname; fid = fopen(name, 'w');
fprintf(fid, '1 2.5\n-3 4e2\n 5\t6\n'); fclose(fid);
fid = fopen(name); [A, n] = fscanf(fid, '%f');
fprintf('%g ', A, n, size(A), feof(fid)); fprintf('\n')           % expect: 1 2.5 -3 400 5 6 6 6 1 1
frewind(fid); B = fscanf(fid, '%d %f', [2 Inf]);
fprintf('%g ', B, size(B)); fprintf('\n')                          % expect: 1 2.5 -3 400 5 6 2 3
frewind(fid); h = fgetl(fid); C = fscanf(fid, '%g', 3);
fprintf('%s | %g %g %g\n', h, C)                                   % expect: 1 2.5 | -3 400 5
fclose(fid); delete(name);
%% mkdir makes parents and reports; exist, isfile and isfolder; rmdir needs 's' when not empty
d = tempname;
[ok, msg] = mkdir([d '/x/y']);
fprintf('%d %d %d %d\n', ok, isempty(msg), isfolder([d '/x/y']), exist([d '/x'], 'dir'))
% expect: 1 1 1 7
[ok, msg, id] = mkdir(d, 'x');
fprintf('%d %s %s\n', ok, msg, id)
% expect: 1 Directory already exists. Q:mkdir:DirectoryExists
f = [d '/x/file.txt']; fid = fopen(f, 'w'); fclose(fid);
fprintf('%d ', exist(f, 'file'), exist(f), isfile(f), isfolder(f), isfile(d), exist(f, 'dir'));
fprintf('%d\n', exist(d, 'file'))                                  % expect: 2 2 1 0 0 0 7
[ok, msg] = rmdir([d '/x']);
fprintf('%d %d\n', ok, isfolder([d '/x']))                         % expect: 0 1
try, mkdir(f); catch e, disp(e.identifier), end                   % expect: Q:mkdir:OSError
[ok, msg] = rmdir(d, 's');
fprintf('%d %d %d\n', ok, isempty(msg), exist(d, 'dir'))           % expect: 1 1 0
try, rmdir(d); catch e, disp(e.identifier), end                   % expect: Q:rmdir:NotADirectory
%% delete removes files, warns when one is missing and refuses a folder
name = tempname; fid = fopen(name, 'w'); fclose(fid);
delete(name); fprintf('%d\n', isfile(name))                        % expect: 0
warning('off', 'Q:delete:FileNotFound'); delete(name);
[msg, id] = lastwarn; disp(id)                                     % expect: Q:delete:FileNotFound
d = tempname; mkdir(d);
try, delete(d); catch e, disp(e.identifier), end                  % expect: Q:invalidInput
rmdir(d); fprintf('%d\n', isfolder(d))                             % expect: 0
%% dir lists a folder sorted by name, the matches of a pattern, or one file
d = tempname; mkdir(d); mkdir([d '/sub']);
fid = fopen([d '/b.txt'], 'w'); fwrite(fid, 1:10); fclose(fid);
fid = fopen([d '/a.dat'], 'w'); fprintf(fid, 'abc'); fclose(fid);
L = dir(d);
for k = 1:numel(L), fprintf('%s %d %d,', L(k).name, L(k).bytes, L(k).isdir); end; fprintf('\n')
% expect: . 0 1,.. 0 1,a.dat 3 0,b.txt 10 0,sub 0 1,
P = dir([d '/*.txt']); F = dir([d '/a.dat']); N = dir([d '/nothing*']);
fprintf('%d %s %d %s %d %d %d\n', numel(P), P.name, numel(F), F.name, F.bytes, numel(N), ...
        strcmp(P.folder, F.folder))                                % expect: 1 b.txt 1 a.dat 3 0 1
names = fieldnames(F); fprintf('%s ', names{:}); fprintf('\n')
% expect: name folder date bytes isdir datenum
% The date text and the day number (days from the year 0, 1-Jan-0000 being day 1) agree.
day = sscanf(F.date(1:2), '%d'); y = sscanf(F.date(8:11), '%d');
hms = sscanf(F.date(13:20), '%d:%d:%d');
m = (strfind('JanFebMarAprMayJunJulAugSepOctNovDec', F.date(4:6)) + 2) / 3;
leap = mod(y, 4) == 0 && (mod(y, 100) ~= 0 || mod(y, 400) == 0);
before = [0 31 59 90 120 151 181 212 243 273 304 334];
dn = 365 * y + ceil(y / 4) - ceil(y / 100) + ceil(y / 400) + before(m) + (m > 2 && leap) + day;
dn = dn + [3600 60 1] * hms / 86400;
fprintf('%d %s %d\n', numel(F.date), F.date([3 7]), abs(dn - F.datenum) < 1e-6)
% expect: 20 -- 1
rmdir(d, 's');
%% getenv and setenv, pwd, tempdir and tempname
setenv('QCASE_FILES_VAR', 'a=b c');
fprintf('[%s] %d\n', getenv('QCASE_FILES_VAR'), numel(getenv('QCASE_FILES_UNSET')))
% expect: [a=b c] 0
setenv('QCASE_FILES_VAR');
fprintf('%d %d %d\n', isempty(getenv('QCASE_FILES_VAR')), isfolder(pwd), isfolder(tempdir))
% expect: 1 1 1
t = tempdir; a = tempname; b = tempname; c = tempname('/x/y');
fprintf('%d %d %d %d %s\n', strcmp(a, b), strncmp(a, t, numel(t)), exist(a, 'file'), ...
        strncmp(c, '/x/y/', 5), t(end))                           % expect: 0 1 0 1 /
try, setenv('A=B', 'x'); catch e, disp(e.identifier), end         % expect: Q:invalidInput
%% Bad arguments: ids, permissions, precisions, sizes, origins and what cannot be read
try, fgetl(99); catch e, disp(e.identifier), end                  % expect: Q:invalidFid
try, fclose(1); catch e, disp(e.identifier), end                  % expect: Q:invalidFid
try, feof('x'); catch e, disp(e.identifier), end                  % expect: Q:invalidFid
try, fopen(tempname, 'rw'); catch e, disp(e.identifier), end      % expect: Q:invalidInput
name = tempname; fid = fopen(name, 'w+');
try, fwrite(fid, 1, 'int24'); catch e, disp(e.identifier), end    % expect: Q:invalidInput
try, fwrite(fid, {1}); catch e, disp(e.identifier), end           % expect: Q:invalidInput
try, fread(fid, [0 2]); catch e, disp(e.identifier), end          % expect: Q:invalidInput
try, fread(fid, -1); catch e, disp(e.identifier), end             % expect: Q:invalidInput
try, fseek(fid, 0, 'top'); catch e, disp(e.identifier), end       % expect: Q:invalidInput
try, fileread([name '.none']); catch e, disp(e.identifier), end   % expect: Q:fileOpen
try, fileread('/dev/zero'); catch e, disp(e.identifier), end      % expect: Q:fileOpen
try, fileread(tempdir); catch e, disp(e.identifier), end          % expect: Q:fileOpen
fclose(fid); delete(name);
% Deleting a file still open removes its name; the stream left open goes with the instance.
name = tempname; fid = fopen(name, 'w'); fprintf(fid, 'x'); delete(name);
fprintf('%d %d\n', fid, isfile(name))                              % expect: 3 0
