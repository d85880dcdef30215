function empty()
% An empty program: start-up and shut-down of the runner.
end
