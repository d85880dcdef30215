%% globals are shared between functions
setshared(42);
getshared()                                  % expect: ans = 42
%% a global declared in the script sees the value
setshared('text');
global SHARED
SHARED                                       % expect: SHARED = text
%% writing a global in the script is seen by functions
global SHARED
SHARED = 99;
getshared()                                  % expect: ans = 99
%% a new global starts empty
global FRESH
isempty(FRESH)                               % expect: ans = 1
%% a plain variable of the same name is separate
setshared(1);
SHARED = 5;
getshared()                                  % expect: ans = 1
%% persistent variables keep their value between calls
counter();
counter();
counter()                                    % expect: ans = 3
%% rtksetglobal and rtkgetglobal
rtksetglobal('HOSTVALUE', 12);
rtkgetglobal('HOSTVALUE')                    % expect: ans = 12
global HOSTVALUE
HOSTVALUE + 1                                % expect: ans = 13
%% rtkgetglobal of a missing global is empty
isempty(rtkgetglobal('NOPE'))                % expect: ans = 1
%% clear all removes globals
setshared(3);
clear all
getshared()                                  % expect: ans = 0x0 empty double array
%% user data
setkvnuserdata('key', [1 2 3]);
getkvnuserdatainternal('key')                % expect: ans = 1 2 3
getkvnuserdata('key')                        % expect: ans = 1 2 3
isempty(getkvnuserdata('other'))             % expect: ans = 1
%% user data keys must be text
setkvnuserdata(5, 1)                         % expect-error: Q:invalidInput
%% rtkclearallinstancedata clears globals and user data
rtksetglobal('G', 1);
setkvnuserdata('k', 2);
rtkclearallinstancedata
isempty(rtkgetglobal('G'))                   % expect: ans = 1
isempty(getkvnuserdata('k'))                 % expect: ans = 1
%% a global declared by eval text stays visible in the workspace
eval('global EG; EG = 4;');
eval('disp(EG + 1)')                         % expect: 5
getEG = rtkgetglobal('EG')                   % expect: getEG = 4
%% a global declared in a script run by a function
global SHARED
SHARED = 'from script';
getshared()                                  % expect: ans = from script
