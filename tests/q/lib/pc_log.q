function pc_log(level, fmt, varargin)
% Prints a message when its level is at most the global log level (default 2), counting them.
global PC_LOG_LEVEL PC_LOG_COUNT
if isempty(PC_LOG_LEVEL)
  PC_LOG_LEVEL = 2;
end
if isempty(PC_LOG_COUNT)
  PC_LOG_COUNT = 0;
end
if level <= PC_LOG_LEVEL
  PC_LOG_COUNT = PC_LOG_COUNT + 1;
  fprintf(['[%d] ', fmt, '\n'], level, varargin{:});
end
