% A script: it works in the workspace of whoever runs it.
scriptValue = 7;
doubled = existing * 2;
