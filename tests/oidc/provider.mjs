#!/usr/bin/env node
// The OpenID provider that the sign-in tests start: the oidc-provider
// package from npm, over TLS on a free loopback port.
//
//   node provider.mjs --dir DIR --site http://127.0.0.1:PORT... [--secret TEXT]
//
// Makes a throwaway certificate authority and a server certificate for
// 127.0.0.1 and localhost in DIR with the openssl command, starts the
// provider and prints one JSON line on standard output:
//   {"issuer": "https://127.0.0.1:N", "ca": "DIR/ca.pem"}
// It ends on SIGTERM or SIGINT, and when its standard input closes, so that
// it never outlives the test that started it.
//
// Clients: "ostrand" (the site under test at each --site, with the secret) and
// "other-app" (another relying party, for a code issued to someone else).
// Sign-in goes through the provider's own development pages (any login,
// any password); consent is given at once. The login names the account:
// "leader" and "colleague" say preferred_username 1 and 5 (persons of the
// demo database), any other login says its own name, which matches nobody.
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import https from 'node:https';
import path from 'node:path';
import process from 'node:process';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));

export const CLIENT_ID = 'ostrand';
export const OTHER_CLIENT_ID = 'other-app';
export const OTHER_REDIRECT = 'https://other-app.invalid/callback';
const ACCOUNTS = {
  leader: { preferred_username: '1', name: 'Leader of the demo' },
  colleague: { preferred_username: '5', name: 'Colleague of the demo' },
};

function parseArguments(argv) {
  const options = { dir: null, sites: [], secret: 'ostrand-test-secret' };
  for (let i = 0; i < argv.length; i += 2) {
    const [key, value] = [argv[i], argv[i + 1]];
    if (value === undefined) throw new Error(`${key} needs a value`);
    if (key === '--dir') options.dir = path.resolve(value);
    else if (key === '--site') options.sites.push(value.replace(/\/$/, ''));
    else if (key === '--secret') options.secret = value;
    else throw new Error(`unknown option ${key}`);
  }
  if (!options.dir || options.sites.length === 0) throw new Error('--dir and --site are required');
  return options;
}

function openssl(args, cwd) {
  const result = spawnSync('openssl', args, { cwd, encoding: 'utf8' });
  if (result.error) throw result.error;
  if (result.status !== 0) throw new Error(`openssl ${args[0]} failed: ${result.stderr}`);
}

// A CA valid for a day and a server certificate it signed, in `dir`.
function makeCertificates(dir) {
  fs.mkdirSync(dir, { recursive: true });
  openssl(['req', '-x509', '-newkey', 'ec', '-pkeyopt', 'ec_paramgen_curve:P-256', '-nodes',
    '-keyout', 'ca-key.pem', '-out', 'ca.pem', '-days', '1', '-subj', '/CN=ostrand test CA',
    '-addext', 'basicConstraints=critical,CA:TRUE',
    '-addext', 'keyUsage=critical,keyCertSign,cRLSign'], dir);
  openssl(['req', '-newkey', 'ec', '-pkeyopt', 'ec_paramgen_curve:P-256', '-nodes',
    '-keyout', 'server-key.pem', '-out', 'server.csr', '-subj', '/CN=127.0.0.1'], dir);
  fs.writeFileSync(path.join(dir, 'server.ext'),
    'subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\n' +
    'keyUsage=critical,digitalSignature\nextendedKeyUsage=serverAuth\n');
  openssl(['x509', '-req', '-in', 'server.csr', '-CA', 'ca.pem', '-CAkey', 'ca-key.pem',
    '-CAcreateserial', '-out', 'server.pem', '-days', '1', '-extfile', 'server.ext'], dir);
  return {
    ca: path.join(dir, 'ca.pem'),
    key: fs.readFileSync(path.join(dir, 'server-key.pem')),
    cert: fs.readFileSync(path.join(dir, 'server.pem')),
  };
}

function configuration(options) {
  return {
    clients: [
      {
        client_id: CLIENT_ID,
        client_secret: options.secret,
        redirect_uris: options.sites.map((site) => `${site}/login/oidc/callback`),
        post_logout_redirect_uris: options.sites.map((site) => `${site}/login`),
        grant_types: ['authorization_code'],
        response_types: ['code'],
        token_endpoint_auth_method: 'client_secret_basic',
      },
      {
        client_id: OTHER_CLIENT_ID,
        client_secret: 'other-app-secret',
        redirect_uris: [OTHER_REDIRECT],
        grant_types: ['authorization_code'],
        response_types: ['code'],
      },
    ],
    // The claims of the scopes go into the ID token itself, which is all
    // that the site reads.
    conformIdTokenClaims: false,
    claims: { openid: ['sub'], profile: ['name', 'preferred_username'] },
    async findAccount(ctx, id) {
      const known = ACCOUNTS[id] || { preferred_username: id, name: id };
      return { accountId: id, async claims() { return { sub: id, ...known }; } };
    },
    // Consent is given at once: the sign-in page is the only interaction.
    async loadExistingGrant(ctx) {
      const grantId = ctx.oidc.result?.consent?.grantId ||
        ctx.oidc.session.grantIdFor(ctx.oidc.client.clientId);
      if (grantId) return ctx.oidc.provider.Grant.find(grantId);
      const grant = new ctx.oidc.provider.Grant({
        clientId: ctx.oidc.client.clientId,
        accountId: ctx.oidc.session.accountId,
      });
      grant.addOIDCScope('openid profile');
      await grant.save();
      return grant;
    },
    features: {
      devInteractions: { enabled: true },
      rpInitiatedLogout: { enabled: true },
    },
    pkce: { required: () => true },
    cookies: { keys: ['ostrand-test-cookie-key-0123456789'] },
    ttl: { AuthorizationCode: 60, IdToken: 300, AccessToken: 300, Interaction: 600,
      Session: 3600, Grant: 3600 },
  };
}

async function main() {
  const options = parseArguments(process.argv.slice(2));
  if (!fs.existsSync(path.join(here, 'node_modules', 'oidc-provider', 'package.json'))) {
    const npm = spawnSync('npm', ['ci', '--no-audit', '--no-fund'], { cwd: here, stdio: ['ignore', 2, 2] });
    if (npm.status !== 0) throw new Error('npm ci failed');
  }
  const { default: Provider } = await import('oidc-provider');
  const tls = makeCertificates(options.dir);
  let handler = (request, response) => { response.statusCode = 503; response.end(); };
  const server = https.createServer({ key: tls.key, cert: tls.cert },
    (request, response) => handler(request, response));
  await new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(0, '127.0.0.1', resolve);
  });
  const issuer = `https://127.0.0.1:${server.address().port}`;
  const provider = new Provider(issuer, configuration(options));
  // Its warnings about development settings go nowhere: they are meant.
  provider.on('server_error', (ctx, error) => process.stderr.write(`provider: ${error.stack}\n`));
  handler = provider.callback();
  const stop = () => {
    server.close();
    server.closeAllConnections();
    process.exit(0);
  };
  process.on('SIGTERM', stop);
  process.on('SIGINT', stop);
  process.stdin.on('end', stop);
  process.stdin.on('error', stop);
  process.stdin.resume();
  process.stdout.write(`${JSON.stringify({ issuer, ca: tls.ca })}\n`);
}

main().catch((error) => {
  process.stderr.write(`provider: ${error.stack || error}\n`);
  process.exit(1);
});
