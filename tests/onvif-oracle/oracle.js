// An independent ONVIF client (the "onvif" package of the npm registry)
// run against the device simulator by tests/tools/tst_onviforacles. Each
// command prints one JSON object on standard output and exits 0, or prints
// the error on standard error and exits 1.
//
//   node oracle.js discover TIMEOUT_MS
//   node oracle.js info HOST PORT USER PASSWORD
//   node oracle.js setip HOST PORT USER PASSWORD NEW_ADDRESS PREFIX
//   node oracle.js createusers HOST PORT USER PASSWORD
//   node oracle.js services|ntp|time|hostname|media|users|reboot|factory HOST PORT USER PASSWORD
//
// The last kind makes a change (where it has one), then reads it back with
// a new connection; its object is { readBack: TEXT }.
//
// The password comes from the environment variable ORACLE_PASSWORD when
// the argument is "-", so that it needs not stand on a command line.
'use strict';

const { Cam, Discovery } = require('onvif');

function done(result) {
	process.stdout.write(JSON.stringify(result) + '\n');
	process.exit(0);
}

function fail(error) {
	process.stderr.write('oracle: ' + (error && error.message ? error.message : String(error)) + '\n');
	process.exit(1);
}

function password(argument) {
	return argument === '-' ? process.env.ORACLE_PASSWORD : argument;
}

// Connects (GetSystemDateAndTime, then GetServices or GetCapabilities)
// and hands over the camera.
function connect(host, port, user, pass) {
	return new Promise((resolve, reject) => {
		const options = { hostname: host, port: Number(port), timeout: 5000 };
		if (user) {
			options.username = user;
			options.password = pass;
		}
		new Cam(options, function (error) {
			if (error) {
				reject(error);
			} else {
				resolve(this);
			}
		});
	});
}

function call(cam, method, ...args) {
	return new Promise((resolve, reject) => {
		cam[method](...args, (error, result) => (error ? reject(error) : resolve(result)));
	});
}

function ipv4Of(interfaces) {
	const config = interfaces[0].IPv4.config;
	const manual = config.manual || config.fromDHCP;
	return Array.isArray(manual) ? manual[0].address : manual.address;
}

// Tries to connect until the device answers or the time is up.
async function reach(host, port, user, pass, timeoutMs) {
	const end = Date.now() + timeoutMs;
	for (;;) {
		try {
			return await connect(host, port, user, pass);
		} catch (error) {
			if (Date.now() > end) {
				throw error;
			}
			await new Promise((resolve) => setTimeout(resolve, 200));
		}
	}
}

const commands = {
	discover(timeoutMs) {
		Discovery.probe({ timeout: Number(timeoutMs), resolve: false }, (errors, matches) => {
			done({
				devices: (matches || []).map((m) => {
					const match = m.probeMatches.probeMatch;
					return {
						endpoint: match.endpointReference.address,
						xaddrs: match.XAddrs,
						scopes: String(match.scopes).split(' '),
					};
				}),
			});
		});
	},

	async info(host, port, user, pass) {
		const cam = await connect(host, port, user, password(pass));
		const information = await call(cam, 'getDeviceInformation');
		const interfaces = await call(cam, 'getNetworkInterfaces');
		done({
			manufacturer: information.manufacturer,
			model: information.model,
			serialNumber: information.serialNumber,
			hardwareAddress: interfaces[0].info.hwAddress,
			address: ipv4Of(interfaces),
			prefixLength: Number(interfaces[0].IPv4.config.manual.prefixLength),
		});
	},

	async setip(host, port, user, pass, address, prefix) {
		const secret = password(pass);
		const cam = await connect(host, port, user, secret);
		const interfaces = await call(cam, 'getNetworkInterfaces');
		const result = await call(cam, 'setNetworkInterfaces', {
			interfaceToken: interfaces[0].$.token,
			networkInterface: {
				enabled: true,
				IPv4: { enabled: true, DHCP: false, manual: { address: address, prefixLength: Number(prefix) } },
			},
		});
		const rebootNeeded = result.rebootNeeded === true || result.rebootNeeded === 'true';
		if (rebootNeeded) {
			// The camera object now points at the new address: the reboot
			// goes to the old one, where the device still is.
			const old = await connect(host, port, user, secret);
			await call(old, 'systemReboot');
		}
		const moved = await reach(address, port, user, secret, 10000);
		const after = await call(moved, 'getNetworkInterfaces');
		done({ rebootNeeded: rebootNeeded, address: ipv4Of(after) });
	},

	async createusers(host, port, user, pass) {
		const secret = password(pass);
		// The new administrator's credentials from the start: a device in
		// factory state takes the request anonymously whatever they are.
		const cam = await connect(host, port, user, secret);
		const users = await call(cam, 'createUsers', [{ username: user, password: secret, userLevel: 'Administrator' }]);
		const anonymous = await connect(host, port);
		let anonymousRefused = false;
		try {
			await call(anonymous, 'getUsers');
		} catch (error) {
			anonymousRefused = true;
		}
		done({
			users: (Array.isArray(users) ? users : [users]).map((u) => ({ username: u.username, userLevel: u.userLevel })),
			anonymousRefused: anonymousRefused,
		});
	},
};

// Commissioning: each makes its change, then answers what the device
// reads back afterwards.
const readBacks = {
	async services(cam) {
		const services = await call(cam, 'getServices', true);
		return services.map((s) => s.namespace).sort().join(' ');
	},

	async ntp(cam, host, port, user, pass) {
		await call(cam, 'setNTP', { fromDHCP: false, type: 'IPv4', ipv4Address: '192.0.2.123' });
		const ntp = await call(await connect(host, port, user, pass), 'getNTP');
		const manual = Array.isArray(ntp.NTPManual) ? ntp.NTPManual : [ntp.NTPManual];
		return manual.map((m) => m.IPv4Address).join(' ');
	},

	async time(cam, host, port, user, pass) {
		await call(cam, 'setSystemDateAndTime', {
			dateTimeType: 'Manual', daylightSavings: false, timezone: 'CET-1', dateTime: new Date(),
		});
		// A new connection learns the device's clock afresh.
		const again = await connect(host, port, user, pass);
		const [time, xml] = await new Promise((resolve, reject) => {
			again.getSystemDateAndTime((error, t, x) => (error ? reject(error) : resolve([t, x])));
		});
		const zone = /<tt:TZ>([^<]*)</.exec(xml);
		return (Math.abs(time - Date.now()) < 5000 ? 'in step ' : 'off ') + (zone ? zone[1] : '');
	},

	async hostname(cam) {
		return (await call(cam, 'getHostname')).name;
	},

	async media(cam) {
		const profiles = await call(cam, 'getProfiles');
		const token = profiles[0].$.token;
		const stream = await call(cam, 'getStreamUri', { protocol: 'RTSP', profileToken: token });
		const snapshot = await call(cam, 'getSnapshotUri', { profileToken: token });
		return [token, stream.uri, snapshot.uri].join(' ');
	},

	async users(cam, host, port, user, pass) {
		await call(cam, 'createUsers', [{ username: 'op1', password: 'Op-12345', userLevel: 'Operator' }]);
		await call(cam, 'deleteUsers', ['op1']);
		const users = await call(await connect(host, port, user, pass), 'getUsers');
		return (Array.isArray(users) ? users : [users]).map((u) => u.username).join(' ');
	},

	async reboot(cam, host, port, user, pass) {
		await call(cam, 'systemReboot');
		const back = await reach(host, port, user, pass, 10000);
		await call(back, 'getDeviceInformation');
		return 'back';
	},

	async factory(cam, host, port, user, pass) {
		await call(cam, 'setSystemFactoryDefault', false);
		// No users now: the old administrator is gone, and the first one
		// is created as on a new device (taken without credentials; the
		// package reads the list back with the new ones).
		const fresh = await reach(host, port, 'installer', pass, 10000);
		const users = await call(fresh, 'createUsers', [{ username: 'installer', password: pass, userLevel: 'Administrator' }]);
		return (Array.isArray(users) ? users : [users]).map((u) => u.username).join(' ');
	},
};
for (const name of Object.keys(readBacks)) {
	commands[name] = async function (host, port, user, pass) {
		const secret = password(pass);
		const cam = await connect(host, port, user, secret);
		done({ readBack: await readBacks[name](cam, host, port, user, secret) });
	};
}

const [command, ...args] = process.argv.slice(2);
if (!commands[command]) {
	fail(new Error('unknown command ' + command));
}
Promise.resolve()
	.then(() => commands[command](...args))
	.catch(fail);
