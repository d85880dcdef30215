function p = pn_sieve(n)
% Primes up to n by the sieve of Eratosthenes on a logical mask.
isp = true(1, n);
isp(1) = false;
for k = 2:floor(sqrt(n))
  if isp(k)
    isp(k * k:k:n) = false;
  end
end
p = find(isp);
