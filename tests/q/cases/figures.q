%% figure makes numbered figures
h1 = figure;
h2 = figure;
[h1 h2]                                       % expect: ans = 1 2
gcf                                           % expect: ans = 2
%% figure properties
h = figure('Name', 'plot one', 'Visible', 'off');
get(h, 'Name')                                % expect: ans = plot one
get(h, 'visible')                             % expect: ans = off
get(h, 'Type')                                % expect: ans = figure
get(h, 'Number')                              % expect: ans = 1
%% set changes properties
h = figure;
set(h, 'Name', 'renamed');
get(h, 'name')                                % expect: ans = renamed
%% read-only properties
h = figure;
set(h, 'Type', 'axes')                        % expect-error: Q:readOnlyProperty
%% close all closes every figure
figure; figure;
close all
isempty(allchild(0))                          % expect: ans = 1
%% close one figure
a = figure; b = figure;
close(a);
allchild(0)'                                  % expect: ans = 2
ishandle([a b])                               % expect: ans = 0 1
%% the visible-figure query of the runtime
figure('Visible', 'on');
figure('Visible', 'off');
findobj(allchild(0), 'flat', 'Type', 'figure', 'visible', 'on');
ans                                           % expect: ans = 1
findobj(allchild(0), 'flat', 'Type', 'figure', 'visible', 'off')   % expect: ans = 2
%% the query with groot
figure('Visible', 'off');
findobj(allchild(groot), 'flat', 'Type', 'figure', 'visible', 'off')   % expect: ans = 1
%% the query finds nothing without figures
r = findobj(allchild(0), 'flat', 'Type', 'figure', 'visible', 'on');
numel(r)                                      % expect: ans = 0
%% the query through eval, as the runtime sends it
figure('Name', 'shown');
r = eval('findobj(allchild(0), ''flat'', ''Type'', ''figure'', ''visible'', ''on'');')   % expect: r = 1
n = eval('get(1,''name'');')                  % expect: n = shown
%% rtkkillallfigures removes every figure
figure; figure('HandleVisibility', 'off');
rtkkillallfigures
numel(allchild(0))                            % expect: ans = 0
%% close all keeps figures with hidden handles
figure('HandleVisibility', 'off');
figure;
close all
allchild(0)                                   % expect: ans = 1
%% figure(n) selects or creates
figure(5);
gcf                                           % expect: ans = 5
figure(5);
numel(allchild(0))                            % expect: ans = 1
%% gcf creates a figure when there is none
h = gcf                                       % expect: h = 1
%% get of a deleted figure
h = figure;
close(h);
get(h, 'Name')                                % expect-error: Q:invalidHandle
%% rtkisoktoexit
rtkisoktoexit()                               % expect: ans = 1
%% get of all properties
h = figure('Name', 'x');
p = get(h);
p.Name                                        % expect: ans = x
%% a property name that cannot be a field name is left out of get's struct
h = figure(char([0 0 0 1]), 'x', 'Name', 'plot', ['Name' 0 'x'], 'y');
p = get(h);
disp(p.Name)                              % expect: plot
