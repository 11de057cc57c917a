// Drives the status page in Debian's chromium, headless, as an operator would: finds a
// failed file with its reason, presses its Retry button, and waits for the page (which
// refreshes itself) to show the file converted. Prints what it saw as one JSON line.
//
//   node StatusPage.mjs URL FILE_NAME SCREENSHOT_STEM [SECONDS]
//
// FILE_NAME is the failed file's exact name; screenshots go to STEM-failed.png (a desktop
// window), STEM-phone.png (a phone's screen) and STEM-converted.png.
import { chromium } from 'playwright-core';

const [url, fileName, screenshotStem, seconds = '120'] = process.argv.slice(2);
const giveUp = Date.now() + Number(seconds) * 1000;

// As root, chromium's own sandbox cannot start.
const browser = await chromium.launch({
  executablePath: process.env.VELLUMDOCK_CHROMIUM || '/usr/bin/chromium',
  headless: true,
  args: [...(process.getuid() === 0 ? ['--no-sandbox'] : []), '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
         '--disable-component-update', '--disable-sync'],
});
const seen = { failedShown: false, reason: '', scripts: -1, injected: null, converted: false, output: '', pages: '',
               problem: '' };
try {
  // A fresh context is a new, empty profile.
  const context = await browser.newContext({ viewport: { width: 1100, height: 800 } });
  const page = await context.newPage();
  await page.goto(url);

  // The failed file's row: its name cell holds exactly the name, as text.
  const rowOf = (table) => page.locator(`table.${table} tbody tr`).filter({
    has: page.locator('td.name').getByText(fileName, { exact: true }),
  });
  const failedRow = rowOf('failed');
  seen.failedShown = (await failedRow.count()) === 1;
  if (seen.failedShown) seen.reason = (await failedRow.locator('td.reason').innerText()).trim();
  seen.scripts = await page.locator('script').count();
  seen.injected = await page.evaluate(() => window.injected ?? null);
  await page.screenshot({ path: `${screenshotStem}-failed.png`, fullPage: true });
  await page.setViewportSize({ width: 390, height: 844 });
  await page.screenshot({ path: `${screenshotStem}-phone.png`, fullPage: true });
  await page.setViewportSize({ width: 1100, height: 800 });

  if (seen.failedShown) {
    await Promise.all([page.waitForNavigation(), failedRow.getByRole('button', { name: 'Retry' }).click()]);
    // No reload from here: the page refreshes itself until the outcome shows.
    while (Date.now() < giveUp) {
      const done = rowOf('outcomes').and(page.locator('tr.success'));
      try {
        if ((await done.count()) > 0) {
          seen.converted = true;
          seen.output = (await done.first().locator('td[data-label="Output"]').innerText()).trim();
          seen.pages = (await done.first().locator('td[data-label="Pages"]').innerText()).trim();
          break;
        }
      } catch (error) {
        // The page was being replaced by its refresh: look again at the next one.
      }
      await page.waitForEvent('load', { timeout: Math.max(1, giveUp - Date.now()) }).catch(() => {});
    }
    seen.injected = await page.evaluate(() => window.injected ?? null);
    await page.screenshot({ path: `${screenshotStem}-converted.png`, fullPage: true });
  }
} catch (error) {
  seen.problem = String(error);
} finally {
  await browser.close();
}
console.log(JSON.stringify(seen));
